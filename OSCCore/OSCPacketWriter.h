#pragma once
// Messages and bundles of plain arguments written straight into a buffer the caller keeps:
// once the buffer has grown to the largest packet, writing allocates nothing. The bytes
// are those OSCMessage and OSCBundle write for the same address and values.
//
// Arguments: std::int32_t ('i'), float ('f'), double ('d'), std::int64_t ('h'), bool
// ('T'/'F'), std::string_view / const char* ('s'), ByteView ('b'). Text that is not
// printable ASCII is transliterated, as the full encoder does (that path allocates).

#include "OSCCore/Data.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace osccore::writer {

// Printable ASCII is written as it is; other text becomes its Latin-ASCII form.
bool needsConversion(std::string_view text);
std::string converted(std::string_view text);
// Throws OSCEncodeError, as the full encoder does for a blob it cannot write.
void checkBlobSize(std::size_t size);

inline std::size_t paddedText(std::size_t n) {
    return n + 4 - n % 4;
}

// A text argument or address, transliterated when it is not printable ASCII. Built in
// place and never moved, so the view stays on its own copy.
struct Text {
    explicit Text(std::string_view text) : view(text) {
        if (needsConversion(text)) {
            owned = converted(text);
            view = owned;
        }
    }
    Text(const Text&) = delete;
    std::string_view view;
    std::string owned;
};

std::string convertedAddress(std::string_view address);

template <class T> constexpr bool isText = std::is_convertible_v<const T&, std::string_view>;

template <class T> constexpr char tagOf() {
    if constexpr (std::is_same_v<T, std::int32_t>)
        return 'i';
    else if constexpr (std::is_same_v<T, float>)
        return 'f';
    else if constexpr (std::is_same_v<T, double>)
        return 'd';
    else if constexpr (std::is_same_v<T, std::int64_t>)
        return 'h';
    else if constexpr (std::is_same_v<T, Text>)
        return 's';
    else if constexpr (std::is_same_v<T, ByteView>)
        return 'b';
    else
        static_assert(std::is_same_v<T, bool>, "an argument kind the writer does not know");
}

template <class T> std::size_t payloadSize(const T& v) {
    if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, float>)
        return 4;
    else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, std::int64_t>)
        return 8;
    else if constexpr (std::is_same_v<T, Text>)
        return paddedText(v.view.size());
    else if constexpr (std::is_same_v<T, ByteView>)
        return 4 + (v.size() + 3) / 4 * 4;
    else
        return 0;
}

inline std::uint8_t* put32(std::uint8_t* p, std::uint32_t v) {
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
    return p + 4;
}
inline std::uint8_t* put64(std::uint8_t* p, std::uint64_t v) {
    v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
    return p + 8;
}
inline std::uint8_t* putText(std::uint8_t* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    const std::size_t padded = paddedText(text.size());
    std::memset(p + text.size(), 0, padded - text.size());
    return p + padded;
}

template <class T> std::uint8_t* putValue(std::uint8_t* p, const T& v) {
    if constexpr (std::is_same_v<T, std::int32_t>)
        return put32(p, static_cast<std::uint32_t>(v));
    else if constexpr (std::is_same_v<T, float>)
        return put32(p, std::bit_cast<std::uint32_t>(v));
    else if constexpr (std::is_same_v<T, double>)
        return put64(p, std::bit_cast<std::uint64_t>(v));
    else if constexpr (std::is_same_v<T, std::int64_t>)
        return put64(p, static_cast<std::uint64_t>(v));
    else if constexpr (std::is_same_v<T, Text>)
        return putText(p, v.view);
    else if constexpr (std::is_same_v<T, ByteView>) {
        p = put32(p, static_cast<std::uint32_t>(v.size()));
        if (!v.empty())
            std::memcpy(p, v.data(), v.size());
        const std::size_t padded = (v.size() + 3) / 4 * 4;
        std::memset(p + v.size(), 0, padded - v.size());
        return p + padded;
    } else
        return p;
}

template <class T> char tagFor(const T& v) {
    if constexpr (std::is_same_v<T, bool>)
        return v ? 'T' : 'F';
    else
        return tagOf<T>();
}

} // namespace osccore::writer

class OSCPacketWriter {
public:
    // Starts a packet at the front of `buffer`; its capacity is kept for the next packet.
    explicit OSCPacketWriter(Data& buffer) : out_(buffer) { out_.clear(); }

    // One message as the whole packet, or as the next element of an open bundle.
    template <class... A> OSCPacketWriter& message(std::string_view address, const A&... args) {
        using namespace osccore::writer;
        if (needsConversion(address)) {
            const std::string plain = convertedAddress(address);
            return write(std::string_view(plain), prepared(args)...);
        }
        return write(address, prepared(args)...);
    }

    // Opens a bundle with the time tag's raw value (1: immediately); messages that follow
    // become its elements.
    OSCPacketWriter& beginBundle(std::uint64_t timeTag = 1) {
        static constexpr char header[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0};
        const std::size_t start = out_.size();
        out_.resize(start + 16);
        std::memcpy(out_.data() + start, header, 8);
        osccore::writer::put64(out_.data() + start + 8, timeTag);
        inBundle_ = true;
        return *this;
    }

    const Data& data() const { return out_; }

private:
    template <class T> static decltype(auto) prepared(const T& v) {
        if constexpr (osccore::writer::isText<T>)
            return osccore::writer::Text(std::string_view(v));
        else
            return (v);
    }

    template <class... A> OSCPacketWriter& write(std::string_view address, const A&... args) {
        using namespace osccore::writer;
        (
            [&] {
                if constexpr (std::is_same_v<A, ByteView>)
                    checkBlobSize(args.size());
            }(),
            ...);
        const std::size_t tagSize = paddedText(1 + sizeof...(A));
        const std::size_t size =
            paddedText(address.size()) + tagSize + (std::size_t{0} + ... + payloadSize(args));
        std::size_t start = out_.size();
        if (inBundle_) {
            out_.resize(start + 4 + size);
            put32(out_.data() + start, static_cast<std::uint32_t>(size));
            start += 4;
        } else {
            out_.resize(start + size);
        }
        std::uint8_t* p = putText(out_.data() + start, address);
        std::memset(p, 0, tagSize);
        p[0] = ',';
        std::uint8_t* tag = p + 1;
        p += tagSize;
        ((*tag++ = static_cast<std::uint8_t>(tagFor(args)), p = putValue(p, args)), ...);
        return *this;
    }

    Data& out_;
    bool inBundle_ = false;
};
