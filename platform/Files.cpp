#include "platform/Files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

fs::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

// XDG base directories must be absolute; anything else is ignored, as the standard says.
fs::path xdgDirectory(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return fs::path(value) / "Sonavant";
    return homeDirectory() / fallback / "Sonavant";
}

std::mutex writeFaultMutex;
std::function<int(const fs::path&)> writeFault;

int injectedWriteError(const fs::path& path) {
    std::lock_guard lock(writeFaultMutex);
    return writeFault ? writeFault(path) : 0;
}

// A temporary file is ".<file name>" + temporaryMark + temporaryDigits lowercase hex digits.
constexpr std::string_view temporaryMark = ".tmp-";
constexpr std::size_t temporaryDigits = 12;

bool isTemporaryName(std::string_view name) {
    if (name.size() < 2 + temporaryMark.size() + temporaryDigits || name.front() != '.')
        return false;
    const std::string_view digits = name.substr(name.size() - temporaryDigits);
    const std::string_view mark =
        name.substr(name.size() - temporaryDigits - temporaryMark.size(), temporaryMark.size());
    return mark == temporaryMark && digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string randomSuffix() {
    unsigned char bytes[temporaryDigits / 2] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        auto seed = static_cast<unsigned>(::getpid()) ^
                    static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&bytes));
        for (auto& b : bytes)
            b = static_cast<unsigned char>(seed = seed * 1103515245u + 12345u);
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    for (auto b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

class TemporaryFile {
public:
    TemporaryFile(const fs::path& target) {
        fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = folder / ("." + target.filename().string() + std::string(temporaryMark) + randomSuffix());
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0)
                return;
            if (errno != EEXIST)
                fail("cannot create a temporary file to write " + target.string(), path_, errno);
        }
        fail("cannot create a temporary file to write " + target.string(), path_, EEXIST);
    }
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!committed_)
            ::unlink(path_.c_str());
    }
    int fd() const { return fd_; }
    const fs::path& path() const { return path_; }
    int close() {
        int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void committed() { committed_ = true; }

private:
    fs::path path_;
    int fd_ = -1;
    bool committed_ = false;
};

} // namespace

fs::path applicationSupportDirectory() {
    return xdgDirectory("XDG_DATA_HOME", ".local/share");
}

fs::path configurationDirectory() {
    return xdgDirectory("XDG_CONFIG_HOME", ".config");
}

void ensureDirectoryExists(const fs::path& folder) {
    std::error_code ec;
    if (fs::exists(folder, ec))
        return;
    fs::create_directories(folder, ec);
    if (ec)
        throw fs::filesystem_error("cannot create folder", folder, ec);
}

void writeFileAtomically(const fs::path& path, std::string_view bytes) {
    if (path.filename().empty())
        fail("cannot write a file without a name", path, EINVAL);
    TemporaryFile temp(path);

    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(temp.fd(), old.st_mode & 07777);

    const char* data = bytes.data();
    std::size_t left = bytes.size();
    if (const int error = injectedWriteError(path))
        fail("cannot write file", path, error);
    while (left > 0) {
        ssize_t n = ::write(temp.fd(), data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write file", path, n < 0 ? errno : EIO);
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(temp.fd()) != 0)
        fail("cannot flush file to disk", path, errno);
    if (temp.close() != 0)
        fail("cannot write file", path, errno);
    if (::rename(temp.path().c_str(), path.c_str()) != 0)
        fail("cannot replace file", path, errno);
    temp.committed();

    // Make the rename itself durable; the file is in place either way.
    fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string readFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot read file", path, errno);
    std::string out;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int error = errno;
            ::close(fd);
            fail("cannot read file", path, error);
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

std::vector<fs::path> removeLeftoverTemporaryFiles(const fs::path& folder) {
    std::vector<fs::path> removed;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (!isTemporaryName(it->path().filename().string()) ||
            it->symlink_status(kind).type() != fs::file_type::regular)
            continue;
        if (::unlink(it->path().c_str()) == 0)
            removed.push_back(it->path());
    }
    return removed;
}

bool isWritableByUser(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (::geteuid() == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    // Also a read-only file system, for root as well.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

void setWriteFault(std::function<int(const fs::path&)> fault) {
    std::lock_guard lock(writeFaultMutex);
    writeFault = std::move(fault);
}

std::string percentEncodedPath(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace platform
