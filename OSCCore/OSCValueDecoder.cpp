#include "OSCCore/OSCValueDecoder.h"

#include "OSCCore/OSCDecodeError.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

namespace {

// Exactly sizeof(T) bytes are taken, so the conversion itself cannot fail; the second
// text of each reader is kept for that case all the same.
template <class T> T readNumber(OSCValueDecoder& d, const char* shortText, const char*) {
    if (d.remainingByteCount() < static_cast<std::int64_t>(sizeof(T)))
        throw OSCDecodeError::malformed(shortText);
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    Bits bits;
    std::memcpy(&bits, d.data.data() + d.pos, sizeof bits);
    if constexpr (std::endian::native == std::endian::little) {
        if constexpr (sizeof(T) == 4)
            bits = __builtin_bswap32(bits);
        else
            bits = __builtin_bswap64(bits);
    }
    d.pos += sizeof(T);
    return std::bit_cast<T>(bits);
}

} // namespace

std::int32_t OSCValueDecoder::readInt32() {
    return readNumber<std::int32_t>(*this, "Not enough bytes while reading Int32 data chunk.",
                                    "Failed to construct Int32 from chunk data.");
}

float OSCValueDecoder::readFloat32() {
    return readNumber<float>(*this, "Not enough bytes while reading Float32 data chunk.",
                             "Failed to construct Float32 from chunk data.");
}

double OSCValueDecoder::readDouble() {
    return readNumber<double>(*this, "Not enough bytes while reading Double data chunk.",
                              "Failed to construct Double from chunk data.");
}

std::int64_t OSCValueDecoder::readInt64() {
    return readNumber<std::int64_t>(*this, "Not enough bytes while reading Int64 data chunk.",
                                    "Failed to construct Int64 from chunk data.");
}

std::uint64_t OSCValueDecoder::readUInt64() {
    return readNumber<std::uint64_t>(*this, "Not enough bytes while reading UInt64 data chunk.",
                                     "Failed to construct UInt64 from chunk data.");
}

ByteView OSCValueDecoder::readBytes(std::int64_t count) {
    if (count < 0)
        throw OSCDecodeError::internalInconsistency("Negative byte count requested: " +
                                                    std::to_string(count));
    const std::int64_t remaining = remainingByteCount();
    if (remaining < count)
        throw OSCDecodeError::malformed("Not enough bytes remain in data stream. Attempted to read " +
                                        std::to_string(count) + " bytes but only " +
                                        std::to_string(remaining) + " bytes remain.");
    ByteView out = data.subspan(static_cast<std::size_t>(pos), static_cast<std::size_t>(count));
    pos += count;
    return out;
}

void OSCValueDecoder::advance(std::int64_t count) {
    if (count < 0)
        throw OSCDecodeError::internalInconsistency("Negative byte count requested: " +
                                                    std::to_string(count));
    const std::int64_t remaining = remainingByteCount();
    if (remaining < count)
        throw OSCDecodeError::malformed(
            "Attempted to advance byte read position past end of available bytes. " +
            std::to_string(remaining) + " bytes remain but " + std::to_string(count) + " were advanced.");
    pos += count;
}

ByteView OSCValueDecoder::readPaddedChunk() {
    static const char* const tooShort = "Not enough bytes in 4-byte aligned null-terminated data chunk.";
    static const char* const badEnd =
        "4-byte aligned null-terminated data chunk does not terminate in null bytes as expected.";
    const std::int64_t remaining = remainingByteCount();
    if (remaining < 4)
        throw OSCDecodeError::malformed(tooShort);
    const ByteView rest = remainingData();
    // Eight bytes at a time while a whole word is left: a word holds a zero byte exactly
    // when (w - 0x01..01) & ~w & 0x80..80 is not zero.
    std::int64_t length = 0;
    for (std::uint64_t word; remaining - length >= 8; length += 8) {
        std::memcpy(&word, rest.data() + length, 8);
        if ((word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL)
            break;
    }
    while (length < remaining && rest[static_cast<std::size_t>(length)] != 0)
        ++length;
    if (length == remaining)
        throw OSCDecodeError::malformed(badEnd);
    const std::int64_t padded = length + 4 - (length % 4);
    if (remaining < padded)
        throw OSCDecodeError::malformed(tooShort);
    for (std::int64_t i = length; i < padded; ++i)
        if (rest[static_cast<std::size_t>(i)] != 0)
            throw OSCDecodeError::malformed(badEnd);
    pos += padded;
    return rest.first(static_cast<std::size_t>(length));
}

std::string OSCValueDecoder::readPaddedString() {
    auto text = makeExactASCIIString(readPaddedChunk());
    if (!text)
        throw OSCDecodeError::malformed(
            "Failed to form valid ASCII string from 4-byte aligned null-terminated ASCII string chunk. "
            "Non-ASCII characters may be present or the data is malformed.");
    return std::move(*text);
}

Data OSCValueDecoder::readBlob() {
    const ByteView bytes = readBlobBytes();
    return Data(bytes.begin(), bytes.end());
}

ByteView OSCValueDecoder::readBlobBytes() {
    static const char* const badLength =
        "Failed to read Int32 length chunk at start of 4-byte aligned null-terminated blob data chunk.";
    std::int32_t length;
    try {
        length = readInt32();
    } catch (const OSCDecodeError&) {
        throw OSCDecodeError::malformed(badLength);
    }
    if (length > maxBlobLength)
        throw OSCDecodeError::malformed(badLength);
    if (length < 0)
        throw OSCDecodeError::malformed("Encoded blob chunk length is negative.");
    const std::int64_t n = length;
    const std::int64_t padded = (n + 3) / 4 * 4;
    const std::int64_t remaining = remainingByteCount();
    if (n > remaining)
        throw OSCDecodeError::malformed(
            "Encoded blob chunk length is greater than the available data length.");
    if (padded > remaining)
        throw OSCDecodeError::malformed(
            "Not enough bytes in 4-byte aligned null-terminated blob data chunk.");
    const ByteView rest = remainingData();
    for (std::int64_t i = n; i < padded; ++i)
        if (rest[static_cast<std::size_t>(i)] != 0)
            throw OSCDecodeError::malformed(
                "Expected 4-byte null terminated data but expected null bytes were not found.");
    pos += padded;
    return rest.first(static_cast<std::size_t>(n));
}

void appendNullTerminator(Data& data) {
    data.insert(data.end(), 4 - data.size() % 4, std::uint8_t{0});
}

std::optional<std::string> makeExactASCIIString(ByteView bytes) {
    for (auto b : bytes)
        if (b >= 0x80)
            return std::nullopt;
    return std::string(bytes.begin(), bytes.end());
}
