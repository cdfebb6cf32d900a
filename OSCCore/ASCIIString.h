#pragma once
// ASCII text that keeps its bytes: the text is always 7-bit, so its bytes are the text's own.

#include "OSCCore/ASCIICharacter.h"
#include "OSCCore/Data.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ASCIIString {
public:
    ASCIIString() = default;
    // Lossy: an all-ASCII text is kept as it is (control characters included); any other
    // text goes whole through latinASCIITransform. Also the form used for literals.
    explicit ASCIIString(std::string_view text);
    ASCIIString(const char* text) : ASCIIString(std::string_view(text)) {}
    // A character that transliterated to several letters (ß to ss) gives its byte, "?".
    explicit ASCIIString(const ASCIICharacter& character);
    explicit ASCIIString(const std::vector<ASCIICharacter>& characters);

    // Every character ASCII; otherwise nothing.
    static std::optional<ASCIIString> exactly(std::string_view text);
    // Bytes below 128 taken one for one; a backslash is an ordinary character.
    static std::optional<ASCIIString> fromRawData(ByteView bytes);

    static ASCIIString joined(const std::vector<ASCIIString>& parts, const ASCIIString& separator = {});
    static ASCIIString joined(const std::vector<ASCIICharacter>& parts, const ASCIIString& separator = {});

    const std::string& stringValue() const { return stringValue_; }
    ByteView rawData() const {
        return ByteView(reinterpret_cast<const std::uint8_t*>(stringValue_.data()), stringValue_.size());
    }

    const std::string& description() const { return stringValue_; }
    std::string debugDescription() const { return "ASCIIString(\"" + stringValue_ + "\")"; }

    bool operator==(const ASCIIString& other) const { return stringValue_ == other.stringValue_; }
    // Against any text, by canonical equivalence.
    bool operator==(std::string_view text) const;
    bool operator==(const char* text) const { return *this == std::string_view(text); }

    friend ASCIIString operator+(const ASCIIString& a, const ASCIIString& b) {
        return ASCIIString(Raw{}, a.stringValue_ + b.stringValue_);
    }
    friend ASCIIString operator+(const ASCIIString& a, const ASCIICharacter& b) { return a + ASCIIString(b); }
    friend ASCIIString operator+(const ASCIICharacter& a, const ASCIIString& b) { return ASCIIString(a) + b; }
    friend ASCIIString operator+(const ASCIICharacter& a, const ASCIICharacter& b) {
        return ASCIIString(a) + ASCIIString(b);
    }

private:
    struct Raw {};
    ASCIIString(Raw, std::string text) : stringValue_(std::move(text)) {}
    friend ASCIIString latinASCIITransform(std::string_view text);

    std::string stringValue_;
};

// The codec's one lossy conversion of text to ASCII: "Latin-ASCII" transliteration (é to e,
// ß to ss), then every scalar outside space to tilde replaced by "?". Plain printable ASCII
// is returned untouched without transliteration.
ASCIIString latinASCIITransform(std::string_view text);

// True when the text holds a character outside ASCII (CR LF counts as ASCII).
bool containsNonASCIICharacters(std::string_view text);

template <> struct std::hash<ASCIIString> {
    std::size_t operator()(const ASCIIString& s) const noexcept {
        return std::hash<std::string>{}(s.stringValue());
    }
};
