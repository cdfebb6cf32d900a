#pragma once
// One ASCII character together with its byte.

#include "OSCCore/Data.h"

#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class ASCIICharacter {
public:
    // "?" (63).
    ASCIICharacter() : characterValue_("?"), asciiValue_(63) {}
    // Lossy: the first character of the text, transliterated when it is not ASCII; "?" when
    // nothing is left or the text is empty. Also the form used for literals.
    ASCIICharacter(std::string_view text);
    ASCIICharacter(const char* text) : ASCIICharacter(std::string_view(text)) {}

    // Exactly one character that is ASCII (the CR LF pair counts, with code 10).
    static std::optional<ASCIICharacter> exactly(std::string_view character);
    // An integer of any width: 0 to 127 only.
    template <std::integral T> static std::optional<ASCIICharacter> exactly(T value) {
        if constexpr (std::is_signed_v<T>) {
            if (value < 0)
                return std::nullopt;
        }
        if (static_cast<std::uintmax_t>(value) > 255)
            return std::nullopt;
        const std::uint8_t byte = static_cast<std::uint8_t>(value);
        return fromRawData(ByteView(&byte, 1));
    }
    // Exactly one byte below 128. A backslash is an ordinary character.
    static std::optional<ASCIICharacter> fromRawData(ByteView bytes);

    const std::string& characterValue() const { return characterValue_; }
    std::uint8_t asciiValue() const { return asciiValue_; }
    Data rawData() const { return Data{asciiValue_}; }

    // The character when printable, otherwise "?".
    std::string description() const;
    std::string debugDescription() const;

    bool operator==(const ASCIICharacter& other) const { return asciiValue_ == other.asciiValue_; }
    // Against any character, by canonical equivalence of the text.
    bool operator==(std::string_view character) const;
    bool operator==(const char* character) const { return *this == std::string_view(character); }

private:
    ASCIICharacter(std::string character, std::uint8_t code)
        : characterValue_(std::move(character)), asciiValue_(code) {}

    std::string characterValue_;
    std::uint8_t asciiValue_;
};

template <> struct std::hash<ASCIICharacter> {
    std::size_t operator()(const ASCIICharacter& c) const noexcept {
        return std::hash<std::uint8_t>{}(c.asciiValue());
    }
};
