#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "platform/Serialization.h"
#include "platform/UserDefaults.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

using namespace platform;
namespace fs = std::filesystem;

namespace {

using TempFolder = support::TempFolderPath;

std::vector<fs::path> asideFiles(const fs::path& folder) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind("Sonavant.plist.corrupt-", 0) == 0)
            out.push_back(e.path());
    return out;
}

} // namespace

TEST(UserDefaults, EveryKindRoundTripsAndOtherKindsReadAsMissing) {
    TempFolder temp;
    fs::path folder = temp.path / "Sonavant";
    ValueArray list{1, "two", 3.0};
    ValueObject point{{"x", 12.0}, {"y", -4.5}};
    {
        UserDefaults defaults(folder);
        EXPECT_FALSE(defaults.loadError());
        defaults.set("savedSpeakers", Bytes{'[', ']'});
        defaults.set("savedOscOutputOn", true);
        defaults.set("savedMinLevel", 7);
        defaults.set("savedRange", 5.0);
        defaults.set("savedTargetDeskIP", "192.168.0.2");
        defaults.set("RecentSonavantFiles", list);
        defaults.set("savedZeroPoint", point);
        defaults.set("removedLater", 1);
        defaults.remove("removedLater");
        defaults.set("nulled", 1);
        defaults.set("nulled", Null{});
        EXPECT_TRUE(defaults.synchronize());
    }
    UserDefaults d(folder);
    EXPECT_EQ(d.data("savedSpeakers"), (Bytes{'[', ']'}));
    EXPECT_EQ(d.boolean("savedOscOutputOn"), true);
    EXPECT_EQ(d.integer("savedMinLevel"), 7);
    EXPECT_EQ(d.real("savedRange"), 5.0);
    EXPECT_EQ(d.string("savedTargetDeskIP"), "192.168.0.2");
    EXPECT_EQ(d.array("RecentSonavantFiles"), list);
    EXPECT_EQ(d.dictionary("savedZeroPoint"), point);
    EXPECT_FALSE(d.contains("removedLater"));
    EXPECT_FALSE(d.contains("nulled"));

    // Kinds are kept apart.
    EXPECT_FALSE(d.integer("savedRange"));
    EXPECT_FALSE(d.real("savedMinLevel"));
    EXPECT_FALSE(d.boolean("savedMinLevel"));
    EXPECT_FALSE(d.integer("savedOscOutputOn"));
    EXPECT_FALSE(d.string("savedSpeakers"));
    EXPECT_FALSE(d.data("savedTargetDeskIP"));
    EXPECT_FALSE(d.array("savedZeroPoint"));
    EXPECT_FALSE(d.dictionary("RecentSonavantFiles"));
    EXPECT_FALSE(d.string("absent"));
    EXPECT_FALSE(d.object("absent"));
    // A number object reads from either numeric kind.
    EXPECT_EQ(d.number("savedMinLevel"), 7.0);
    EXPECT_EQ(d.number("savedRange"), 5.0);
    EXPECT_FALSE(d.number("savedTargetDeskIP"));

    // The file is a property list with a dictionary at its root.
    Value onDisk = readPropertyList(readFile(folder / "Sonavant.plist"));
    ASSERT_NE(onDisk.asObject(), nullptr);
    EXPECT_EQ(*onDisk.asObject(), d.dictionaryRepresentation());
}

// What a property list cannot hold back must not keep the rest from being saved, and the
// marker text "$null" is a text like any other here.
TEST(UserDefaults, NonFiniteNumbersAreRefusedAndTheNullMarkerIsText) {
    TempFolder temp;
    {
        UserDefaults d(temp.path);
        LogCapture log;
        d.set("zoom", std::nan(""));
        d.set("point", ValueObject{{"x", 1.0}, {"y", 1.0 / 0.0}});
        EXPECT_FALSE(d.contains("zoom"));
        EXPECT_FALSE(d.contains("point"));
        EXPECT_TRUE(log.contains("\"zoom\" not stored"));
        d.set("savedTargetDeskIP", "$null");
        d.set("names", ValueArray{"$null", "b"});
        d.set("range", 5.0);
        EXPECT_TRUE(d.synchronize());
    }
    UserDefaults reread(temp.path);
    EXPECT_FALSE(reread.loadError());
    EXPECT_EQ(reread.string("savedTargetDeskIP"), "$null");
    EXPECT_EQ(reread.array("names"), (ValueArray{"$null", "b"}));
    EXPECT_EQ(reread.real("range"), 5.0);
}

TEST(UserDefaults, ChangesReachTheFileOnTheMainQueueInOneWrite) {
    MainRunLoop::adoptCurrentThread();
    TempFolder temp;
    fs::path file = temp.path / "Sonavant.plist";
    UserDefaults d(temp.path);
    for (int i = 0; i < 29; ++i)
        d.set("saved" + std::to_string(i), i);
    EXPECT_FALSE(fs::exists(file)); // nothing blocks the caller
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return fs::exists(file); }, std::chrono::seconds(5)));
    UserDefaults reread(temp.path);
    EXPECT_EQ(reread.integer("saved28"), 28);
}

TEST(UserDefaults, UnreadableFileIsKeptAsideNotOverwritten) {
    TempFolder temp;
    fs::path file = temp.path / "Sonavant.plist";
    for (std::string bad : {std::string("<plist><dict><key>a</key>"),
                            writePropertyList(ValueArray{1, 2}), // well formed, but no dictionary
                            std::string("\x00\x01garbage", 9)}) {
        writeFileAtomically(file, bad);
        LogCapture log;
        {
            UserDefaults d(temp.path);
            ASSERT_TRUE(d.loadError());
            EXPECT_EQ(d.loadError()->kind, UserDefaults::LoadError::Kind::corrupt);
            EXPECT_TRUE(d.dictionaryRepresentation().empty());
            ASSERT_FALSE(d.loadError()->keptAs.empty());
            EXPECT_EQ(readFile(d.loadError()->keptAs), bad);
            EXPECT_TRUE(log.contains("cannot read " + file.string()));
            EXPECT_TRUE(log.contains(d.loadError()->keptAs.string()));
            d.set("fresh", true);
        }
        UserDefaults again(temp.path);
        EXPECT_FALSE(again.loadError());
        EXPECT_EQ(again.boolean("fresh"), true);
        fs::remove(file);
    }
    EXPECT_EQ(asideFiles(temp.path).size(), 3u); // same second, distinct names
}
