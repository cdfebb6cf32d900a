#pragma once
// The empty document handed to the save panel of the export command: it only asks for a
// destination. The export then writes the real show file there.

#include "platform/Value.h"

#include <filesystem>
#include <string_view>
#include <system_error>

class ExportedFileDocument {
public:
    static constexpr std::string_view contentType = "application/xml";

    // What the document writes: nothing.
    platform::Bytes contents() const { return {}; }

    // Writes the document as an empty regular file at `path`.
    std::error_code write(const std::filesystem::path& path) const;
};
