#pragma once
// The read cursor over one message's bytes: big-endian numbers, NUL-terminated ASCII texts
// filled to 4 bytes, and blobs. Every read checks before it moves and never reads past the
// end; every failure is an OSCDecodeError with its fixed text.

#include "OSCCore/Data.h"

#include <cstdint>
#include <optional>
#include <string>

class OSCSerialization;

class OSCValueDecoder {
public:
    // The largest blob a decoder accepts.
    static constexpr std::int32_t maxBlobLength = 65506;
    // How deep arrays may nest inside one message.
    static constexpr int maxArrayDepth = 32;

    explicit OSCValueDecoder(ByteView data, const OSCSerialization* context = nullptr)
        : context(context), data(data) {}

    // The registry that array values decode their elements with; the process-wide one when
    // unset. It outlives every decoder.
    const OSCSerialization* context = nullptr;
    ByteView data;
    std::int64_t pos = 0;
    // Arrays currently open around the read position.
    int arrayDepth = 0;

    std::int64_t remainingByteCount() const { return static_cast<std::int64_t>(data.size()) - pos; }
    ByteView remainingData() const { return data.subspan(static_cast<std::size_t>(pos)); }

    std::int32_t readInt32();
    float readFloat32();
    double readDouble();
    std::int64_t readInt64();
    std::uint64_t readUInt64();
    // A view of the next `count` bytes, valid as long as the input.
    ByteView readBytes(std::int64_t count);
    void advance(std::int64_t count);
    // The bytes of one NUL-terminated chunk, without its NULs.
    ByteView readPaddedChunk();
    std::string readPaddedString();
    Data readBlob();
    // The same checks, and a view of the blob's bytes, valid as long as the input.
    ByteView readBlobBytes();
};

// Appends 1 to 4 NULs so the length becomes a multiple of 4 (4 when it already was).
void appendNullTerminator(Data& data);
// The text of 7-bit bytes, taken one for one (a backslash is an ordinary character);
// nothing when a byte is 128 or above.
std::optional<std::string> makeExactASCIIString(ByteView bytes);
