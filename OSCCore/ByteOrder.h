#pragma once
// Numbers to and from their bytes in a chosen byte order. OSC writes everything big-endian.

#include "OSCCore/Data.h"

#include <cstddef>
#include <cstdint>
#include <optional>

enum class ByteOrder { platformDefault, littleEndian, bigEndian };

// The host's own order (littleEndian on the machines we run on).
ByteOrder hostByteOrder();

// Readers: the buffer must hold exactly the number's byte count, otherwise nothing.
std::optional<std::int32_t> toInt32(ByteView bytes, ByteOrder order);
std::optional<std::int64_t> toInt64(ByteView bytes, ByteOrder order);
std::optional<std::uint64_t> toUInt64(ByteView bytes, ByteOrder order);
std::optional<float> toFloat32(ByteView bytes, ByteOrder order);
std::optional<double> toFloat64(ByteView bytes, ByteOrder order);

// Writers: the value's bytes in the requested order.
Data toData(const void* value, std::size_t count, ByteOrder order);
Data toData(float value, ByteOrder order);
Data toData(double value, ByteOrder order);
