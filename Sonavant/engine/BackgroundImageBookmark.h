#pragma once
// How the background image's file is remembered across launches. There are no
// security-scoped bookmarks here: a bookmark is the file's absolute path, and a file that
// is no longer there makes the bookmark stale.

#include "platform/Value.h"

#include <optional>
#include <string>

struct BackgroundImageBookmark {
    // The bookmark of a "file://" URL or an absolute path. Fails, with the reason, for other
    // URLs and for a file that does not exist.
    struct Made {
        std::optional<platform::Bytes> data;
        std::string error;
    };
    static Made make(const std::string& url);

    // The file URL a bookmark points to; `isStale` when the file has gone.
    struct Resolved {
        std::optional<std::string> url;
        bool isStale = false;
        std::string error;
    };
    static Resolved resolve(const platform::Bytes& data);

    // "file://" and the path with everything but unreserved characters and "/" escaped.
    static std::string fileURL(const std::string& absolutePath);
    // The path of a "file://" URL (escapes decoded) or an absolute path as it is.
    static std::optional<std::string> filePath(const std::string& url);
};
