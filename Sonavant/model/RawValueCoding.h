#pragma once
// Shared by the enumerations of the show that are stored as their raw-value text.

#include "platform/Coding.h"

#include <optional>
#include <string>
#include <string_view>

template <class Cases>
auto enumFromRawValue(const Cases& cases, std::string_view raw) -> std::optional<typename Cases::value_type> {
    for (auto c : cases)
        if (rawValue(c) == raw)
            return c;
    return std::nullopt;
}

template <class Cases>
auto decodeRawValue(const Cases& cases, const platform::Value& v, const std::string& path,
                    const char* typeName) -> typename Cases::value_type {
    auto text = platform::decodeValue<std::string>(v, path);
    if (auto c = enumFromRawValue(cases, text))
        return *c;
    throw platform::CodingError(platform::CodingError::Reason::dataCorrupted, path,
                                std::string("Cannot initialize ") + typeName + " from invalid String value " +
                                    text);
}
