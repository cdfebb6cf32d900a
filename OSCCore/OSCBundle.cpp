#include "OSCCore/OSCBundle.h"

#include "OSCCore/ByteOrder.h"
#include "OSCCore/Hashing.h"
#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCEncodeError.h"
#include "OSCCore/TextUtilities.h"

#include <algorithm>
#include <limits>

namespace {

bool startsWithHeader(ByteView bytes) {
    return bytes.size() >= OSCBundle::header.size() &&
           std::equal(OSCBundle::header.begin(), OSCBundle::header.end(), bytes.begin());
}

void putBE(Data& out, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
}

} // namespace

OSCBundle::OSCBundle() = default;
OSCBundle::OSCBundle(std::vector<OSCObject> elements, std::optional<OSCTimeTag> timeTag)
    : timeTag_(timeTag.value_or(OSCTimeTag::immediate())), elements_(std::move(elements)) {}
OSCBundle::OSCBundle(const OSCBundle&) = default;
OSCBundle::OSCBundle(OSCBundle&&) noexcept = default;
OSCBundle& OSCBundle::operator=(const OSCBundle&) = default;
OSCBundle& OSCBundle::operator=(OSCBundle&&) noexcept = default;
OSCBundle::~OSCBundle() = default;

OSCBundle OSCBundle::fromRawData(ByteView bytes) {
    return OSCBundle(Parse{}, bytes, std::nullopt, 1);
}

OSCBundle OSCBundle::fromRawData(Data&& bytes) {
    const ByteView view(bytes);
    std::optional<Data> keep(std::move(bytes)); // the buffer moves, so the view stays valid
    return OSCBundle(Parse{}, view, std::move(keep), 1);
}

OSCBundle::OSCBundle(Parse, ByteView bytes, std::optional<Data>&& keep, int depth) {
    static const char* const endedEarly = "Data bytes ended earlier than expected.";
    const std::int64_t count = static_cast<std::int64_t>(bytes.size());
    if (count < 16)
        throw OSCDecodeError::malformed("Data length too short. (Length is " + std::to_string(count) + ")");
    if (!startsWithHeader(bytes))
        throw OSCDecodeError::malformed("Bundle header is not present or is malformed.");
    const auto raw = toUInt64(bytes.subspan(8, 8), ByteOrder::bigEndian);
    if (!raw)
        throw OSCDecodeError::malformed("Could not convert timetag to UInt64.");

    timeTag_ = OSCTimeTag(*raw, 0);
    // Counting the elements first spares moving them while the list grows.
    std::size_t elementCount = 0;
    for (std::int64_t at = 16; count - at >= 4; ++elementCount) {
        const std::int64_t size =
            *toInt32(bytes.subspan(static_cast<std::size_t>(at), 4), ByteOrder::bigEndian);
        if (size < 0)
            break;
        at += 4 + size;
    }
    elements_.reserve(elementCount);

    std::int64_t pos = 16;
    while (pos < count) {
        if (count - pos < 4)
            throw OSCDecodeError::malformed(endedEarly);
        const auto size = toInt32(bytes.subspan(static_cast<std::size_t>(pos), 4), ByteOrder::bigEndian);
        if (!size)
            throw OSCDecodeError::malformed("Could not convert element size to Int32.");
        if (*size < 0)
            throw OSCDecodeError::malformed("Bundle element size is negative.");
        const std::int64_t end = pos + 4 + *size;
        if (end > count)
            throw OSCDecodeError::malformed(endedEarly);
        const ByteView element =
            bytes.subspan(static_cast<std::size_t>(pos + 4), static_cast<std::size_t>(*size));
        if (startsWithHeader(element)) {
            // Each level recurses; a datagram must not be able to exhaust the stack.
            if (depth >= maxNestingDepth)
                throw OSCDecodeError::malformed("Bundle nesting is too deep.");
            elements_.emplace_back(std::in_place_type<OSCBundle>, Parse{}, element, std::nullopt, depth + 1);
        } else if (!element.empty() && element[0] == OSCMessage::addressPrefix) {
            elements_.emplace_back(std::in_place_type<OSCMessage>, OSCMessage::Parse{}, element,
                                   std::nullopt);
        } else {
            throw OSCDecodeError::malformed("Unrecognized bundle element encountered.");
        }
        pos = end;
    }
    rawData_ = keep ? std::move(keep) : std::optional<Data>(std::in_place, bytes.begin(), bytes.end());
}

void OSCBundle::appendRawData(Data& out) const {
    if (rawData_) {
        out.insert(out.end(), rawData_->begin(), rawData_->end());
        return;
    }
    out.insert(out.end(), header.begin(), header.end());
    const std::size_t tagAt = out.size();
    out.resize(out.size() + 8);
    putBE(out, tagAt, timeTag_.rawValue(), 8);
    for (const auto& element : elements_) {
        const std::size_t sizeAt = out.size();
        out.resize(out.size() + 4);
        element.appendRawData(out);
        const std::size_t size = out.size() - sizeAt - 4;
        if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
            throw OSCEncodeError::general();
        putBE(out, sizeAt, size, 4);
    }
}

std::size_t OSCBundle::sizeHint() const {
    if (rawData_)
        return rawData_->size();
    std::size_t size = 16;
    for (const auto& element : elements_)
        size += 4 + element.sizeHint();
    return size;
}

Data OSCBundle::rawData() const {
    if (rawData_)
        return *rawData_;
    Data out;
    out.reserve(sizeHint());
    appendRawData(out);
    return out;
}

std::string OSCBundle::description() const {
    std::string out = "OSCBundle(";
    const bool showTag = timeTag_.rawValue() != 1;
    if (showTag)
        out += "timeTag: " + timeTag_.description();
    if (!elements_.empty()) {
        out += showTag ? ", elements: [" : "elements: [";
        for (std::size_t i = 0; i < elements_.size(); ++i)
            out += (i ? ", " : "") + elements_[i].description();
        out += "]";
    }
    return out + ")";
}

std::string OSCBundle::descriptionPretty() const {
    std::string out = "OSCBundle(";
    if (timeTag_.rawValue() != 1)
        out += "timeTag: " + timeTag_.description();
    if (elements_.empty())
        return out + ")";
    out += ") with elements:";
    for (const auto& element : elements_)
        out += "\n  " + element.description();
    return std::string(osccore::trimmed(out));
}

bool OSCBundle::operator==(const OSCBundle& other) const {
    return elements_ == other.elements_;
}

std::size_t std::hash<OSCBundle>::operator()(const OSCBundle& bundle) const noexcept {
    std::size_t seed = 0;
    for (const auto& element : bundle.elements())
        osccore::hashFeed(seed, element);
    return seed;
}
