#pragma once
// Text helpers shared by the ASCII types and address patterns. A "character" is a
// user-perceived character (an extended grapheme cluster); texts holding anything beyond
// ASCII are put in canonical composed form first, so that canonically equivalent texts
// compare equal byte for byte.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace osccore {

// Every byte below 128.
bool isASCIIBytes(std::string_view text);
// Every byte in the printable range, space to tilde.
bool isPrintableASCII(std::string_view text);
// The code of one character: a single scalar below 128 gives itself, the CR LF pair gives 10.
std::optional<std::uint8_t> asciiCode(std::string_view character);
// Canonical equivalence of two texts.
bool canonicallyEqual(std::string_view a, std::string_view b);

// The characters of a text, as views into the (possibly normalised) text held inside.
class Characters {
public:
    explicit Characters(std::string_view text);
    Characters(const Characters&) = delete;
    Characters& operator=(const Characters&) = delete;

    std::size_t size() const { return bounds_.size() - 1; }
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t i) const {
        return text_.substr(bounds_[i], bounds_[i + 1] - bounds_[i]);
    }
    // The text of characters [from, to).
    std::string_view slice(std::size_t from, std::size_t to) const {
        return text_.substr(bounds_[from], bounds_[to] - bounds_[from]);
    }
    std::string_view text() const { return text_; }

private:
    std::string normalised_;
    std::string_view text_;
    std::vector<std::uint32_t> bounds_;
};

} // namespace osccore
