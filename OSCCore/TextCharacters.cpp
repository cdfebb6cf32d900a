#include "OSCCore/TextCharacters.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace osccore {

bool isASCIIBytes(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    // Eight bytes at a time: any high bit set means a byte of 128 or above.
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}

bool isPrintableASCII(std::string_view text) {
    // Eight bytes at a time: a word holds a byte below 0x20 when (w - 0x20..20) & ~w & 0x80..80
    // is not zero, and one above 0x7E when ((w + 0x01..01) | w) & 0x80..80 is not zero.
    constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    std::size_t i = 0;
    for (std::uint64_t w; i + 8 <= text.size(); i += 8) {
        std::memcpy(&w, text.data() + i, 8);
        if (((w - 0x20 * ones) & ~w & highs) || (((w + ones) | w) & highs))
            return false;
    }
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

std::optional<std::uint8_t> asciiCode(std::string_view character) {
    if (character.size() == 1 && static_cast<unsigned char>(character[0]) < 0x80)
        return static_cast<std::uint8_t>(character[0]);
    if (character == "\r\n")
        return 10;
    return std::nullopt;
}

namespace {

std::string nfc(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normaliser = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || normaliser == nullptr)
        return std::string(text);
    icu::UnicodeString source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    icu::UnicodeString result = normaliser->normalize(source, status);
    if (U_FAILURE(status))
        return std::string(text);
    std::string out;
    result.toUTF8String(out);
    return out;
}

// Break iterators are not shareable between threads; each thread keeps its own.
icu::BreakIterator* characterBreaker() {
    thread_local std::unique_ptr<icu::BreakIterator> breaker = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status))
            made.reset();
        return made;
    }();
    return breaker.get();
}

} // namespace

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (isASCIIBytes(a) && isASCIIBytes(b))
        return a == b;
    return nfc(a) == nfc(b);
}

Characters::Characters(std::string_view text) {
    if (isASCIIBytes(text)) {
        text_ = text;
        bounds_.reserve(text.size() + 1);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && i > 0 && text[i - 1] == '\r')
                continue; // CR LF is one character
            bounds_.push_back(static_cast<std::uint32_t>(i));
        }
        bounds_.push_back(static_cast<std::uint32_t>(text.size()));
        return;
    }
    normalised_ = nfc(text);
    text_ = normalised_;
    icu::BreakIterator* breaker = characterBreaker();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text_.data(), static_cast<std::int64_t>(text_.size()), &status);
    if (breaker == nullptr || U_FAILURE(status)) {
        if (utext != nullptr)
            utext_close(utext);
        // Without segmentation every byte counts alone; never expected with ICU's data present.
        for (std::size_t i = 0; i <= text_.size(); ++i)
            bounds_.push_back(static_cast<std::uint32_t>(i));
        return;
    }
    breaker->setText(utext, status);
    for (std::int32_t b = breaker->first(); b != icu::BreakIterator::DONE; b = breaker->next())
        bounds_.push_back(static_cast<std::uint32_t>(b));
    // Leave no reference to our buffer behind in the thread's iterator.
    breaker->setText(icu::UnicodeString());
    utext_close(utext);
    if (bounds_.empty() || bounds_.back() != text_.size())
        bounds_.push_back(static_cast<std::uint32_t>(text_.size()));
}

} // namespace osccore
