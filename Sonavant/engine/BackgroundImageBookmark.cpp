#include "Sonavant/engine/BackgroundImageBookmark.h"

#include "platform/Files.h"

#include <filesystem>
#include <system_error>

namespace {

constexpr std::string_view fileScheme = "file://";

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::string> BackgroundImageBookmark::filePath(const std::string& url) {
    if (!url.empty() && url.front() == '/')
        return url;
    if (url.compare(0, fileScheme.size(), fileScheme) != 0)
        return std::nullopt;
    std::string_view rest = std::string_view(url).substr(fileScheme.size());
    if (rest.starts_with("localhost/"))
        rest.remove_prefix(std::string_view("localhost").size());
    if (rest.empty() || rest.front() != '/')
        return std::nullopt;
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size() || hexDigit(rest[i + 1]) < 0 || hexDigit(rest[i + 2]) < 0)
            return std::nullopt;
        path += static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
        i += 2;
    }
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

std::string BackgroundImageBookmark::fileURL(const std::string& absolutePath) {
    return std::string(fileScheme) + platform::percentEncodedPath(absolutePath);
}

BackgroundImageBookmark::Made BackgroundImageBookmark::make(const std::string& url) {
    auto path = filePath(url);
    if (!path)
        return {std::nullopt, "The URL \"" + url + "\" is not a file URL."};
    std::error_code error;
    if (!std::filesystem::exists(*path, error))
        return {std::nullopt, "The file \"" + *path + "\" does not exist."};
    const std::string absolute = std::filesystem::absolute(*path, error).lexically_normal().string();
    return {platform::Bytes(absolute.begin(), absolute.end()), {}};
}

BackgroundImageBookmark::Resolved BackgroundImageBookmark::resolve(const platform::Bytes& data) {
    const std::string path(data.begin(), data.end());
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos)
        return {std::nullopt, false, "The bookmark data does not name a file."};
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    return {fileURL(path), !exists, {}};
}
