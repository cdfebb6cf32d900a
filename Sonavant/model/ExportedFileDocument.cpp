#include "Sonavant/model/ExportedFileDocument.h"

#include <cerrno>
#include <fstream>

std::error_code ExportedFileDocument::write(const std::filesystem::path& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        return std::error_code(errno ? errno : EIO, std::generic_category());
    file.close();
    if (!file)
        return std::make_error_code(std::errc::io_error);
    return {};
}
