#pragma once
// The value tree written and read as an XML property list or as JSON. Readers throw
// CodingError (reason dataCorrupted) with a clear message on malformed input.

#include "platform/Value.h"

#include <string>
#include <string_view>

namespace platform {

// Standard header and DOCTYPE, tab indentation; null is written as the text "$null".
std::string writePropertyList(const Value& value);
Value readPropertyList(std::string_view xml);

// Pretty printed, keys sorted at every level.
std::string writeJSON(const Value& value);
Value readJSON(std::string_view json);

} // namespace platform
