#include "platform/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;

namespace {

using TempFolder = support::TempFolderPath;

// Sets an environment variable for the scope of a test.
struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(std::string n, const char* value) : name(std::move(n)) {
        if (const char* v = std::getenv(name.c_str()))
            old = v;
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }
    ~ScopedEnv() {
        if (old)
            ::setenv(name.c_str(), old->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(Files, FoldersFollowXDGWithHomeFallback) {
    ScopedEnv home("HOME", "/home/operator");
    {
        ScopedEnv data("XDG_DATA_HOME", "/data/here");
        ScopedEnv config("XDG_CONFIG_HOME", "/config/here");
        EXPECT_EQ(applicationSupportDirectory(), fs::path("/data/here/Sonavant"));
        EXPECT_EQ(configurationDirectory(), fs::path("/config/here/Sonavant"));
    }
    ScopedEnv data("XDG_DATA_HOME", "relative/ignored");
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(applicationSupportDirectory(), fs::path("/home/operator/.local/share/Sonavant"));
    EXPECT_EQ(configurationDirectory(), fs::path("/home/operator/.config/Sonavant"));

    TempFolder temp;
    fs::path deep = temp.path / "a" / "b" / "Sonavant";
    ensureDirectoryExists(deep);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_NO_THROW(ensureDirectoryExists(deep));
}

TEST(Files, AtomicWriteReplacesAndReadsBack) {
    TempFolder temp;
    fs::path file = temp.path / "show.sonavant";
    writeFileAtomically(file, "first");
    EXPECT_EQ(readFile(file), "first");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::string big(300000, 'x');
    big[1234] = '\0';
    writeFileAtomically(file, big);
    EXPECT_EQ(readFile(file), big);
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(temp.path), 1u); // no temporary file left behind
    writeFileAtomically(file, "");
    EXPECT_EQ(readFile(file), "");
}

TEST(Files, FailedWriteLeavesTheOldFileIntact) {
    TempFolder temp;
    fs::path file = temp.path / "autosave.sonavant";
    writeFileAtomically(file, "old contents");

    // The disk fills up mid-write: a file-size limit makes the write itself fail.
    {
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 16;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        try {
            writeFileAtomically(file, std::string(4096, 'n'));
            ADD_FAILURE() << "write past the size limit succeeded";
        } catch (const fs::filesystem_error& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_EQ(readFile(file), "old contents");
    EXPECT_EQ(entries(temp.path), 1u);

    // The target is a folder: the rename fails and the folder stays.
    fs::create_directory(temp.path / "folder");
    writeFileAtomically(temp.path / "folder" / "inside", "x");
    EXPECT_THROW(writeFileAtomically(temp.path / "folder", "y"), fs::filesystem_error);
    EXPECT_EQ(readFile(temp.path / "folder" / "inside"), "x");
    EXPECT_EQ(entries(temp.path), 2u);

    // A folder that does not exist, and one the process may not write (meaningless as root).
    EXPECT_THROW(writeFileAtomically(temp.path / "missing" / "f", "y"), fs::filesystem_error);
    if (::geteuid() != 0) {
        fs::permissions(temp.path, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(writeFileAtomically(file, "new"), fs::filesystem_error);
        fs::permissions(temp.path, fs::perms::owner_all);
        EXPECT_EQ(readFile(file), "old contents");
    }
    EXPECT_THROW(readFile(temp.path / "nothing-here"), fs::filesystem_error);
    EXPECT_THROW(readFile(temp.path), fs::filesystem_error);
}

// A write killed between making its temporary file and the rename leaves that file: exactly
// those names go, and nothing that merely looks like one.
TEST(Files, LeftoverTemporaryFilesAreRemovedAndNothingElse) {
    TempFolder temp;
    // The name a real write gives its temporary file, seen while it exists.
    std::string realName;
    setWriteFault([&](const fs::path&) {
        for (const auto& entry : fs::directory_iterator(temp.path))
            realName = entry.path().filename().string();
        return EIO;
    });
    EXPECT_THROW(writeFileAtomically(temp.path / "autosave.sonavant", "x"), fs::filesystem_error);
    setWriteFault({});
    ASSERT_EQ(entries(temp.path), 0u);
    ASSERT_EQ(realName.rfind(".autosave.sonavant.tmp-", 0), 0u) << realName;

    const std::vector<std::string> ours = {realName, ".Sonavant.plist.tmp-0123456789ab"};
    const std::vector<std::string> others = {
        "autosave.sonavant",
        ".autosave.sonavant.tmp-0123456789a",   // too short
        ".autosave.sonavant.tmp-0123456789abc", // too long
        ".autosave.sonavant.tmp-0123456789AB",  // not our digits
        "autosave.sonavant.tmp-0123456789ab",   // no leading dot
        ".autosave.sonavant.tmp0123456789ab",
        ".tmp-0123456789ab", // no file name
        ".notes.txt.tmp-0123456789ab~",
        "autosave.sonavant.corrupt-1700000000",
    };
    for (const auto& name : ours)
        std::ofstream(temp.path / name) << "partial";
    for (const auto& name : others)
        std::ofstream(temp.path / name) << "keep";
    fs::create_directory(temp.path / ".folder.tmp-0123456789ab");
    fs::create_directory(temp.path / "inner");
    std::ofstream(temp.path / "inner" / ".deep.tmp-0123456789ab") << "keep";
    std::ofstream(temp.path / "target") << "keep";
    fs::create_symlink(temp.path / "target", temp.path / ".link.tmp-0123456789ab");

    const auto removed = removeLeftoverTemporaryFiles(temp.path);
    EXPECT_EQ(removed.size(), ours.size());
    for (const auto& name : ours)
        EXPECT_FALSE(fs::exists(temp.path / name)) << name;
    for (const auto& name : others)
        EXPECT_TRUE(fs::exists(temp.path / name)) << name;
    EXPECT_TRUE(fs::is_directory(temp.path / ".folder.tmp-0123456789ab"));
    EXPECT_TRUE(fs::exists(temp.path / "inner" / ".deep.tmp-0123456789ab"));
    EXPECT_TRUE(fs::is_symlink(temp.path / ".link.tmp-0123456789ab"));
    EXPECT_EQ(readFile(temp.path / "target"), "keep");

    // A folder that does not exist: nothing to do.
    EXPECT_TRUE(removeLeftoverTemporaryFiles(temp.path / "missing").empty());
}
