#include "OSCCore/OSCMessage.h"

#include "OSCCore/ASCIIString.h"
#include "OSCCore/Hashing.h"
#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCEncodeError.h"
#include "OSCCore/OSCSerialization.h"
#include "OSCCore/OSCValueDecoder.h"
#include "OSCCore/TextCharacters.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace {

std::size_t paddedTextSize(std::size_t n) {
    return n + 4 - n % 4;
}
std::size_t paddedBlobSize(std::size_t n) {
    return 4 + (n + 3) / 4 * 4;
}

// Walks the values twice in the same order: once to size the message (and convert texts
// that are not plain printable ASCII), once to write it into a buffer of exactly that size.
// The alternatives are told apart by index, in the order of OSCValue::Storage.
struct Writer {
    std::size_t tagCount = 0;
    std::size_t payloadSize = 0;
    std::vector<std::string> converted; // texts that needed conversion, in value order
    std::size_t nextConverted = 0;
    std::uint8_t* tags = nullptr;
    std::uint8_t* payload = nullptr;

    template <std::size_t I> static const auto& get(const OSCValue& v) {
        return *std::get_if<I>(&v.storage());
    }

    void sizeText(const std::string& text) {
        if (osccore::isPrintableASCII(text)) {
            payloadSize += paddedTextSize(text.size());
        } else {
            converted.push_back(latinASCIITransform(text).stringValue());
            payloadSize += paddedTextSize(converted.back().size());
        }
    }

    void size(const OSCValue& value) {
        ++tagCount;
        switch (value.storage().index()) {
        case 0:  // int32
        case 1:  // float
        case 5:  // character
        case 9:  // MIDI
        case 15: // int8
        case 16: // int16
        case 17: // uint8
        case 18: // uint16
        case 22: // half float
            payloadSize += 4;
            break;
        case 6:  // double
        case 7:  // int64
        case 12: // time tag
        case 19: // uint32
        case 23: // graphics float
            payloadSize += 8;
            break;
        case 4:  // bool
        case 8:  // impulse
        case 10: // null
            break;
        case 2:
            sizeText(get<2>(value));
            break;
        case 11:
            sizeText(get<11>(value).string);
            break;
        case 3: {
            const Data& blob = get<3>(value);
            // The length field is a signed 32-bit number.
            if (blob.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
                throw OSCEncodeError::general();
            payloadSize += paddedBlobSize(blob.size());
            break;
        }
        case 13:
            ++tagCount;
            for (const auto& e : get<13>(value).elements)
                size(e);
            break;
        case 14: {
            const std::int64_t v = get<14>(value).value;
            if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
                throw OSCEncodeError::general();
            payloadSize += 4;
            break;
        }
        case 20:
            sizeUnsigned64(get<20>(value).value);
            break;
        case 21:
            sizeUnsigned64(get<21>(value));
            break;
        }
    }

    void sizeUnsigned64(std::uint64_t v) {
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            throw OSCEncodeError::general();
        payloadSize += 8;
    }

    void put32(std::uint32_t v) {
        v = __builtin_bswap32(v);
        std::memcpy(payload, &v, 4);
        payload += 4;
    }
    void put64(std::uint64_t v) {
        v = __builtin_bswap64(v);
        std::memcpy(payload, &v, 8);
        payload += 8;
    }
    void putText(const std::string& text) {
        const std::string& out = osccore::isPrintableASCII(text) ? text : converted[nextConverted++];
        std::memcpy(payload, out.data(), out.size());
        const std::size_t padded = paddedTextSize(out.size());
        std::memset(payload + out.size(), 0, padded - out.size());
        payload += padded;
    }
    void tag(char c) { *tags++ = static_cast<std::uint8_t>(c); }

    void write(const OSCValue& value) {
        switch (value.storage().index()) {
        case 0:
            tag('i');
            put32(static_cast<std::uint32_t>(get<0>(value)));
            break;
        case 1:
            tag('f');
            put32(std::bit_cast<std::uint32_t>(get<1>(value)));
            break;
        case 2:
            tag('s');
            putText(get<2>(value));
            break;
        case 3: {
            const Data& blob = get<3>(value);
            tag('b');
            put32(static_cast<std::uint32_t>(blob.size()));
            if (!blob.empty())
                std::memcpy(payload, blob.data(), blob.size());
            const std::size_t padded = (blob.size() + 3) / 4 * 4;
            std::memset(payload + blob.size(), 0, padded - blob.size());
            payload += padded;
            break;
        }
        case 4:
            tag(get<4>(value) ? 'T' : 'F');
            break;
        case 5:
            tag('c');
            put32(get<5>(value).asciiValue());
            break;
        case 6:
            tag('d');
            put64(std::bit_cast<std::uint64_t>(get<6>(value)));
            break;
        case 7:
            tag('h');
            put64(static_cast<std::uint64_t>(get<7>(value)));
            break;
        case 8:
            tag('I');
            break;
        case 9: {
            const OSCMIDIValue& m = get<9>(value);
            tag('m');
            put32(std::uint32_t(m.portID) << 24 | std::uint32_t(m.status) << 16 |
                  std::uint32_t(m.data1) << 8 | m.data2);
            break;
        }
        case 10:
            tag('N');
            break;
        case 11:
            tag('S');
            putText(get<11>(value).string);
            break;
        case 12:
            tag('t');
            put64(get<12>(value).rawValue());
            break;
        case 13:
            tag('[');
            for (const auto& e : get<13>(value).elements)
                write(e);
            tag(']');
            break;
        case 14:
            tag('i');
            put32(static_cast<std::uint32_t>(get<14>(value).value));
            break;
        case 15:
            tag('i');
            put32(static_cast<std::uint32_t>(std::int32_t{get<15>(value)}));
            break;
        case 16:
            tag('i');
            put32(static_cast<std::uint32_t>(std::int32_t{get<16>(value)}));
            break;
        case 17:
            tag('i');
            put32(get<17>(value));
            break;
        case 18:
            tag('i');
            put32(get<18>(value));
            break;
        case 19:
            tag('h');
            put64(get<19>(value));
            break;
        case 20:
            tag('h');
            put64(get<20>(value).value);
            break;
        case 21:
            tag('h');
            put64(get<21>(value));
            break;
        case 22:
            tag('f');
            put32(std::bit_cast<std::uint32_t>(get<22>(value).toFloat()));
            break;
        case 23:
            tag('d');
            put64(std::bit_cast<std::uint64_t>(get<23>(value).value));
            break;
        }
    }
};

static_assert(std::variant_size_v<OSCValue::Storage> == 24, "the writer names every alternative by index");
static_assert(std::is_same_v<std::variant_alternative_t<13, OSCValue::Storage>, OSCArrayValue>);
static_assert(std::is_same_v<std::variant_alternative_t<21, OSCValue::Storage>, std::uint64_t>);
static_assert(std::is_same_v<std::variant_alternative_t<23, OSCValue::Storage>, OSCGraphicsFloat>);

} // namespace

void OSCMessage::appendRawData(Data& out) const {
    if (rawData_) {
        out.insert(out.end(), rawData_->begin(), rawData_->end());
        return;
    }
    Writer writer;
    for (const auto& v : values_)
        writer.size(v);
    const ByteView address = addressPattern_.rawData();
    const std::size_t addressSize = paddedTextSize(address.size());
    const std::size_t tagSize = paddedTextSize(1 + writer.tagCount);
    const std::size_t start = out.size();
    // Every byte is written below; zero-filled only by resize.
    out.resize(start + addressSize + tagSize + writer.payloadSize);
    std::uint8_t* p = out.data() + start;
    if (!address.empty())
        std::memcpy(p, address.data(), address.size());
    std::memset(p + address.size(), 0, addressSize - address.size());
    p += addressSize;
    std::memset(p, 0, tagSize);
    p[0] = ',';
    writer.tags = p + 1;
    writer.payload = p + tagSize;
    for (const auto& v : values_)
        writer.write(v);
}

Data OSCMessage::rawData() const {
    if (rawData_)
        return *rawData_;
    Data out;
    appendRawData(out);
    return out;
}

std::size_t OSCMessage::sizeHint() const {
    if (rawData_)
        return rawData_->size();
    std::size_t size =
        paddedTextSize(addressPattern_.rawAddress().size()) + paddedTextSize(1 + values_.size());
    for (const auto& v : values_) {
        if (auto s = v.as<std::string>())
            size += paddedTextSize(s->size());
        else if (auto b = v.as<Data>())
            size += paddedBlobSize(b->size());
        else
            size += 8;
    }
    return size;
}

const char* OSCMessage::headRefusal(ByteView bytes) {
    if (bytes.size() % 4 != 0)
        return "Length not a multiple of 4 bytes.";
    if (bytes.empty() || bytes[0] != addressPrefix)
        return "Does not start with an address pattern.";
    return nullptr;
}

OSCMessage OSCMessage::fromRawData(ByteView bytes) {
    return OSCMessage(Parse{}, bytes, std::nullopt);
}

OSCMessage OSCMessage::fromRawData(Data&& bytes) {
    const ByteView view(bytes);
    std::optional<Data> keep(std::move(bytes)); // the buffer moves, so the view stays valid
    return OSCMessage(Parse{}, view, std::move(keep));
}

OSCMessage::OSCMessage(Parse, ByteView bytes, std::optional<Data>&& keep)
    : addressPattern_(OSCAddressPattern::TrustedASCII{}, {}) {
    if (const char* refusal = headRefusal(bytes))
        throw OSCDecodeError::malformed(refusal);
    const OSCSerialization& registry = OSCSerialization::shared();
    OSCValueDecoder decoder(bytes, &registry);

    ByteView addressBytes, tagBytes;
    try {
        addressBytes = decoder.readPaddedChunk();
    } catch (const OSCDecodeError&) {
        throw OSCDecodeError::malformed("Address pattern string could not be parsed.");
    }
    if (!osccore::isASCIIBytes({reinterpret_cast<const char*>(addressBytes.data()), addressBytes.size()}))
        throw OSCDecodeError::malformed("Address pattern string could not be parsed.");
    try {
        tagBytes = decoder.readPaddedChunk();
    } catch (const OSCDecodeError&) {
        throw OSCDecodeError::malformed("Couldn't extract OSC-type chunk.");
    }
    const std::string_view tags(reinterpret_cast<const char*>(tagBytes.data()), tagBytes.size());
    if (!osccore::isASCIIBytes(tags))
        throw OSCDecodeError::malformed("Couldn't extract OSC-type chunk.");

    addressPattern_ =
        OSCAddressPattern(OSCAddressPattern::TrustedASCII{},
                          {reinterpret_cast<const char*>(addressBytes.data()), addressBytes.size()});
    OSCValues& values = values_;
    values.reserve(tags.size() - static_cast<std::size_t>(std::count(tags.begin(), tags.end(), ',')));
    std::size_t i = 0;
    while (i < tags.size()) {
        if (tags[i] == ',') { // accepted anywhere, and not required first
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(registry.decoderForTag(i, tags, decoder, values));
    }

    rawData_ = keep ? std::move(keep) : std::optional<Data>(std::in_place, bytes.begin(), bytes.end());
}

std::string OSCMessage::description() const {
    std::string out = "OSCMessage(\"" + addressPattern_.description() + "\"";
    if (!values_.empty()) {
        out += ", values: [";
        for (std::size_t i = 0; i < values_.size(); ++i)
            out += (i ? ", " : "") + values_[i].debugDescription();
        out += "]";
    }
    return out + ")";
}

std::string OSCMessage::descriptionPretty() const {
    std::string out = "OSCMessage(\"" + addressPattern_.description() + "\")";
    if (values_.empty())
        return out;
    out += " with values:";
    for (const auto& v : values_)
        out += "\n  " + std::string(v.typeName()) + ": " + v.description();
    return out;
}

bool OSCMessage::operator==(const OSCMessage& other) const {
    return addressPattern_.rawAddress() == other.addressPattern_.rawAddress() && values_ == other.values_;
}

std::size_t std::hash<OSCMessage>::operator()(const OSCMessage& message) const noexcept {
    std::size_t seed = std::hash<std::string_view>{}(message.addressPattern().rawAddress());
    for (const auto& v : message.values())
        osccore::hashFeed(seed, v);
    return seed;
}
