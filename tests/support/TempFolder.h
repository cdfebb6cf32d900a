#pragma once
// A fresh folder under the system's temporary directory, removed with everything in it.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace support {

class TempFolder {
public:
    explicit TempFolder(std::string_view prefix = "sonavant-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        // A test may have left the folder read-only.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The same, with the path as a plain member, for tests written against that shape.
struct TempFolderPath : TempFolder {
    const std::filesystem::path path = TempFolder::path();
};

} // namespace support
