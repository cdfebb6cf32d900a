#include "OSCCore/ByteOrder.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "mixed-endian hosts are not supported");

ByteOrder hostByteOrder() {
    return std::endian::native == std::endian::little ? ByteOrder::littleEndian : ByteOrder::bigEndian;
}

namespace {

bool needsSwap(ByteOrder order) {
    return order != ByteOrder::platformDefault && order != hostByteOrder();
}

template <class T> std::optional<T> read(ByteView bytes, ByteOrder order) {
    if (bytes.size() != sizeof(T))
        return std::nullopt;
    unsigned char buffer[sizeof(T)];
    std::memcpy(buffer, bytes.data(), sizeof(T));
    if (needsSwap(order))
        std::reverse(buffer, buffer + sizeof(T));
    T value;
    std::memcpy(&value, buffer, sizeof(T));
    return value;
}

} // namespace

std::optional<std::int32_t> toInt32(ByteView bytes, ByteOrder order) {
    return read<std::int32_t>(bytes, order);
}
std::optional<std::int64_t> toInt64(ByteView bytes, ByteOrder order) {
    return read<std::int64_t>(bytes, order);
}
std::optional<std::uint64_t> toUInt64(ByteView bytes, ByteOrder order) {
    return read<std::uint64_t>(bytes, order);
}
std::optional<float> toFloat32(ByteView bytes, ByteOrder order) {
    return read<float>(bytes, order);
}
std::optional<double> toFloat64(ByteView bytes, ByteOrder order) {
    return read<double>(bytes, order);
}

Data toData(const void* value, std::size_t count, ByteOrder order) {
    if (value == nullptr || count == 0)
        return {};
    const auto* first = static_cast<const std::uint8_t*>(value);
    Data out(first, first + count);
    if (needsSwap(order))
        std::reverse(out.begin(), out.end());
    return out;
}

Data toData(float value, ByteOrder order) {
    return toData(&value, sizeof value, order);
}
Data toData(double value, ByteOrder order) {
    return toData(&value, sizeof value, order);
}
