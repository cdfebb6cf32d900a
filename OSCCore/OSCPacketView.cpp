#include "OSCCore/OSCPacketView.h"

#include "OSCCore/NumberText.h"
#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCMessage.h"
#include "OSCCore/OSCValueDecoder.h"
#include "OSCCore/TextCharacters.h"

#include <bit>

namespace {

std::uint32_t loadBE32(const std::uint8_t* at) {
    std::uint32_t v;
    std::memcpy(&v, at, 4);
    return __builtin_bswap32(v);
}

bool allBelow128(ByteView bytes) {
    return osccore::isASCIIBytes({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

// Moves past a number of `size` bytes, or throws the full decoder's text for it.
void skipNumber(OSCValueDecoder& d, std::int64_t size, const char* shortText) {
    if (d.remainingByteCount() < size)
        throw OSCDecodeError::malformed(shortText);
    d.pos += size;
}

// Checks one argument at the decoder's position and moves past it, throwing as the full
// decoder does. Returns false for kinds this reader does not cover.
bool checkArgument(char tag, OSCValueDecoder& d) {
    switch (tag) {
    case 'i':
        skipNumber(d, 4, "Not enough bytes while reading Int32 data chunk.");
        return true;
    case 'f':
        skipNumber(d, 4, "Not enough bytes while reading Float32 data chunk.");
        return true;
    case 'd':
        skipNumber(d, 8, "Not enough bytes while reading Double data chunk.");
        return true;
    case 'h':
        skipNumber(d, 8, "Not enough bytes while reading Int64 data chunk.");
        return true;
    case 's':
        if (!allBelow128(d.readPaddedChunk()))
            throw OSCDecodeError::malformed(
                "Failed to form valid ASCII string from 4-byte aligned null-terminated ASCII string chunk. "
                "Non-ASCII characters may be present or the data is malformed.");
        return true;
    case 'b':
        (void)d.readBlobBytes();
        return true;
    case 'T':
    case 'F':
    case 'N':
    case 'I':
        return true;
    default:
        return false;
    }
}

} // namespace

float OSCArgumentView::float32() const {
    return std::bit_cast<float>(load32());
}

double OSCArgumentView::float64() const {
    return std::bit_cast<double>(load64());
}

std::optional<double> OSCArgumentView::number() const {
    switch (tag_) {
    case 'i':
        return int32();
    case 'f':
        return float32();
    case 'd':
        return float64();
    case 'h':
        return static_cast<double>(int64());
    default:
        return std::nullopt;
    }
}

void OSCArgumentView::appendDescription(std::string& out) const {
    switch (tag_) {
    case 'i':
        out += std::to_string(int32());
        return;
    case 'h':
        out += std::to_string(int64());
        return;
    case 'f':
        out += osccore::numberText(float32());
        return;
    case 'd':
        out += osccore::numberText(float64());
        return;
    case 's':
        out += string();
        return;
    case 'b':
        out += std::to_string(size_);
        out += " bytes";
        return;
    case 'T':
    case 'F':
        out += boolean() ? "true" : "false";
        return;
    case 'N':
        out += "Null";
        return;
    case 'I':
        out += "Impulse";
        return;
    }
}

OSCMessageView::Status OSCMessageView::parse(ByteView bytes, OSCMessageView& out) {
    if (const char* refusal = OSCMessage::headRefusal(bytes))
        throw OSCDecodeError::malformed(refusal);
    OSCValueDecoder d(bytes);
    ByteView address, tags;
    try {
        address = d.readPaddedChunk();
    } catch (const OSCDecodeError&) {
        throw OSCDecodeError::malformed("Address pattern string could not be parsed.");
    }
    if (!allBelow128(address))
        throw OSCDecodeError::malformed("Address pattern string could not be parsed.");
    try {
        tags = d.readPaddedChunk();
    } catch (const OSCDecodeError&) {
        throw OSCDecodeError::malformed("Couldn't extract OSC-type chunk.");
    }
    if (!allBelow128(tags))
        throw OSCDecodeError::malformed("Couldn't extract OSC-type chunk.");

    out.address_ = {reinterpret_cast<const char*>(address.data()), address.size()};
    out.tags_ = {reinterpret_cast<const char*>(tags.data()), tags.size()};
    out.payload_ = bytes.data() + d.pos;
    out.count_ = 0;
    for (char tag : out.tags_) {
        if (tag == ',')
            continue;
        if (!checkArgument(tag, d))
            return Status::unsupported;
        ++out.count_;
    }
    return Status::ok;
}

OSCMessageView::Iterator::Iterator(std::string_view tags, std::size_t tag, const std::uint8_t* at)
    : tags_(tags), tag_(tag), at_(at) {
    load();
}

// Moves to the next argument at or after `tag_` and reads where it lies; the message was
// checked whole by parse, so nothing here can run past its end.
void OSCMessageView::Iterator::load() {
    while (tag_ < tags_.size() && tags_[tag_] == ',')
        ++tag_;
    if (tag_ >= tags_.size())
        return;
    const char tag = tags_[tag_];
    switch (tag) {
    case 'i':
    case 'f':
        current_ = {tag, at_, 4};
        step_ = 4;
        break;
    case 'd':
    case 'h':
        current_ = {tag, at_, 8};
        step_ = 8;
        break;
    case 's': {
        const std::size_t length = std::strlen(reinterpret_cast<const char*>(at_));
        current_ = {tag, at_, static_cast<std::uint32_t>(length)};
        step_ = length + 4 - length % 4;
        break;
    }
    case 'b': {
        const std::uint32_t length = loadBE32(at_);
        current_ = {tag, at_ + 4, length};
        step_ = 4 + (std::size_t(length) + 3) / 4 * 4;
        break;
    }
    default:
        current_ = {tag, at_, 0};
        step_ = 0;
        break;
    }
}

OSCMessageView::Iterator& OSCMessageView::Iterator::operator++() {
    at_ += step_;
    ++tag_;
    load();
    return *this;
}

bool OSCBundleView::isBundle(ByteView bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), "#bundle", 8) == 0;
}

OSCBundleView OSCBundleView::parse(ByteView bytes) {
    static const char* const endedEarly = "Data bytes ended earlier than expected.";
    if (bytes.size() < 16)
        throw OSCDecodeError::malformed("Data length too short. (Length is " + std::to_string(bytes.size()) +
                                        ")");
    if (!isBundle(bytes))
        throw OSCDecodeError::malformed("Bundle header is not present or is malformed.");
    OSCBundleView out;
    out.bytes_ = bytes;
    std::uint64_t tag;
    std::memcpy(&tag, bytes.data() + 8, 8);
    out.timeTag_ = __builtin_bswap64(tag);
    const std::int64_t count = static_cast<std::int64_t>(bytes.size());
    for (std::int64_t pos = 16; pos < count;) {
        if (count - pos < 4)
            throw OSCDecodeError::malformed(endedEarly);
        const auto size = static_cast<std::int32_t>(loadBE32(bytes.data() + pos));
        if (size < 0)
            throw OSCDecodeError::malformed("Bundle element size is negative.");
        pos += 4 + std::int64_t(size);
        if (pos > count)
            throw OSCDecodeError::malformed(endedEarly);
    }
    return out;
}

ByteView OSCBundleView::Iterator::operator*() const {
    return {at_ + 4, loadBE32(at_)};
}

OSCBundleView::Iterator& OSCBundleView::Iterator::operator++() {
    at_ += 4 + loadBE32(at_);
    return *this;
}
