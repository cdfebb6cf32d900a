#pragma once
// The value tree written and read as an XML property list or as JSON. Readers throw
// CodingError (reason dataCorrupted) with a clear message on malformed input.

#include "platform/Value.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Standard header and DOCTYPE, tab indentation; null is written as the text "$null",
// which reads back as a null marked as such (see Null::marker). With `markerIsText`
// (stores that never hold null) it reads back as the text "$null" instead.
std::string writePropertyList(const Value& value);
Value readPropertyList(std::string_view xml, bool markerIsText = false);

// Pretty printed, keys sorted at every level.
std::string writeJSON(const Value& value);
Value readJSON(std::string_view json);

// Both forms write every text and key through storableText, so a save never fails on
// text and reads back as written. Both readers take text as UTF-8 (invalid sequences
// become U+FFFD) and refuse, naming the key path, a character a property list cannot hold,
// and a number that is not finite (writers refuse those as well).

// Text as UTF-8: every invalid sequence becomes U+FFFD.
std::string validUTF8(std::string_view text);
// The first character of UTF-8 text that XML 1.0 cannot hold (a C0 control other than tab,
// line feed and carriage return; U+FFFE; U+FFFF); none when every one can be stored.
std::optional<char32_t> unstorableCharacter(std::string_view text);
// Valid UTF-8 with every character XML cannot hold replaced by U+FFFD.
std::string storableText(std::string_view text);
// "U+0001".
std::string characterName(char32_t character);

} // namespace platform
