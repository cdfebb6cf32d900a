#pragma once
// The kind of an OSC value, as typed extraction and token-list tests see it. Raw values
// 0 to 14 are the required kinds, 15 to 29 the same kinds in the same order, optional.

#include <array>
#include <optional>

enum class OSCValueToken : int {
    blob,
    float32,
    int32,
    string,
    array,
    bool_,
    character,
    double_,
    int64,
    impulse,
    midi,
    null,
    stringAlt,
    timeTag,
    number,
    blobOptional,
    float32Optional,
    int32Optional,
    stringOptional,
    arrayOptional,
    boolOptional,
    characterOptional,
    doubleOptional,
    int64Optional,
    impulseOptional,
    midiOptional,
    nullOptional,
    stringAltOptional,
    timeTagOptional,
    numberOptional,
};

inline constexpr int oscValueTokenCount = 30;

constexpr int rawValue(OSCValueToken token) {
    return static_cast<int>(token);
}
constexpr std::optional<OSCValueToken> oscValueTokenFromRaw(int raw) {
    if (raw < 0 || raw >= oscValueTokenCount)
        return std::nullopt;
    return static_cast<OSCValueToken>(raw);
}
constexpr bool isOptional(OSCValueToken token) {
    return rawValue(token) > 14;
}
constexpr OSCValueToken baseToken(OSCValueToken token) {
    return static_cast<OSCValueToken>(rawValue(token) % 15);
}
constexpr OSCValueToken optionalToken(OSCValueToken token) {
    return static_cast<OSCValueToken>(rawValue(baseToken(token)) + 15);
}

// Whether a value of kind `kind` satisfies the required token `token`; with `numberFlag`,
// `number` takes the four numeric kinds.
constexpr bool accepts(OSCValueToken token, OSCValueToken kind, bool numberFlag) {
    if (kind == token)
        return true;
    return token == OSCValueToken::number && numberFlag &&
           (kind == OSCValueToken::float32 || kind == OSCValueToken::int32 ||
            kind == OSCValueToken::double_ || kind == OSCValueToken::int64);
}

constexpr std::array<OSCValueToken, oscValueTokenCount> allOSCValueTokens() {
    std::array<OSCValueToken, oscValueTokenCount> all{};
    for (int i = 0; i < oscValueTokenCount; ++i)
        all[static_cast<std::size_t>(i)] = static_cast<OSCValueToken>(i);
    return all;
}
