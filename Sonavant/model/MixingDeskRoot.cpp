#include "Sonavant/model/MixingDeskRoot.h"

#include "platform/Serialization.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

using platform::KeyedDecoder;
using platform::KeyedEncoder;
using platform::Value;

Value MixingDeskRoot::encode() const {
    KeyedEncoder e;
    e.encode("mixingDesks", mixingDesks);
    return std::move(e).finish();
}

MixingDeskRoot MixingDeskRoot::decode(const Value& value, const std::string& path) {
    KeyedDecoder d(value, path);
    return {d.decode<std::vector<MixingDesk>>("mixingDesks")};
}

MixingDeskRoot MixingDeskRoot::fromPropertyList(std::string_view xml) {
    return decode(platform::readPropertyList(xml), "");
}

MixingDeskRoot MixingDeskRoot::readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("The file \"" + path.string() + "\" could not be opened.");
    std::ostringstream contents;
    contents << file.rdbuf();
    if (file.bad())
        throw std::runtime_error("The file \"" + path.string() + "\" could not be read.");
    return fromPropertyList(contents.str());
}

std::optional<std::filesystem::path> mixingDesksResourcePath() {
    namespace fs = std::filesystem;
    std::vector<fs::path> candidates;
    if (const char* dir = std::getenv("SONAVANT_RESOURCE_DIR"); dir && *dir)
        candidates.push_back(fs::path(dir) / mixingDesksFileName);
    std::error_code ec;
    if (auto exe = fs::read_symlink("/proc/self/exe", ec); !ec)
        candidates.push_back(exe.parent_path() / ".." / "share" / "Sonavant" / mixingDesksFileName);
#ifdef SONAVANT_RESOURCE_SOURCE_DIR
    candidates.push_back(fs::path(SONAVANT_RESOURCE_SOURCE_DIR) / mixingDesksFileName);
#endif
    for (const auto& candidate : candidates)
        if (fs::is_regular_file(candidate, ec))
            return candidate.lexically_normal();
    return std::nullopt;
}
