#include "OSCCore/ASCIIString.h"

#include "OSCCore/TextCharacters.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>

ASCIIString::ASCIIString(std::string_view text) {
    if (osccore::isASCIIBytes(text))
        stringValue_ = std::string(text);
    else
        stringValue_ = latinASCIITransform(text).stringValue_;
}

ASCIIString::ASCIIString(const ASCIICharacter& character) {
    if (osccore::asciiCode(character.characterValue()))
        stringValue_ = character.characterValue();
    else
        stringValue_.assign(1, static_cast<char>(character.asciiValue()));
}

ASCIIString::ASCIIString(const std::vector<ASCIICharacter>& characters) {
    for (const auto& c : characters)
        stringValue_ += ASCIIString(c).stringValue_;
}

std::optional<ASCIIString> ASCIIString::exactly(std::string_view text) {
    if (!osccore::isASCIIBytes(text))
        return std::nullopt;
    return ASCIIString(Raw{}, std::string(text));
}

std::optional<ASCIIString> ASCIIString::fromRawData(ByteView bytes) {
    for (auto b : bytes)
        if (b >= 0x80)
            return std::nullopt;
    return ASCIIString(Raw{}, std::string(bytes.begin(), bytes.end()));
}

ASCIIString ASCIIString::joined(const std::vector<ASCIIString>& parts, const ASCIIString& separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += separator.stringValue_;
        out += parts[i].stringValue_;
    }
    return ASCIIString(Raw{}, std::move(out));
}

ASCIIString ASCIIString::joined(const std::vector<ASCIICharacter>& parts, const ASCIIString& separator) {
    std::vector<ASCIIString> strings;
    strings.reserve(parts.size());
    for (const auto& c : parts)
        strings.emplace_back(c);
    return joined(strings, separator);
}

bool ASCIIString::operator==(std::string_view text) const {
    return osccore::canonicallyEqual(stringValue_, text);
}

namespace {

// ICU transliterators must not be used by two threads at once: one prototype is built
// once, and each thread works on its own clone.
icu::Transliterator* latinToASCII() {
    // Never destroyed, so a thread still converting text during exit finds it intact.
    static icu::Transliterator* const prototype = []() -> icu::Transliterator* {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> made(
            icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
        return U_FAILURE(status) ? nullptr : made.release();
    }();
    thread_local std::unique_ptr<icu::Transliterator> mine(prototype ? prototype->clone() : nullptr);
    return mine.get();
}

} // namespace

ASCIIString latinASCIITransform(std::string_view text) {
    if (osccore::isPrintableASCII(text))
        return ASCIIString(ASCIIString::Raw{}, std::string(text));
    std::string out;
    out.reserve(text.size());
    if (osccore::isASCIIBytes(text)) {
        for (char c : text)
            out += (c >= 0x20 && c <= 0x7E) ? c : '?';
        return ASCIIString(ASCIIString::Raw{}, std::move(out));
    }
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    if (icu::Transliterator* transliterator = latinToASCII())
        transliterator->transliterate(u);
    for (std::int32_t i = 0; i < u.length(); i = u.moveIndex32(i, 1)) {
        const UChar32 scalar = u.char32At(i);
        out += (scalar >= 0x20 && scalar <= 0x7E) ? static_cast<char>(scalar) : '?';
    }
    return ASCIIString(ASCIIString::Raw{}, std::move(out));
}

bool containsNonASCIICharacters(std::string_view text) {
    return !osccore::isASCIIBytes(text);
}
