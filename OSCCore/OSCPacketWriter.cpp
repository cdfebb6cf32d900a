#include "OSCCore/OSCPacketWriter.h"

#include "OSCCore/ASCIIString.h"
#include "OSCCore/OSCAddressPattern.h"
#include "OSCCore/OSCEncodeError.h"
#include "OSCCore/TextCharacters.h"

#include <limits>

namespace osccore::writer {

bool needsConversion(std::string_view text) {
    return !isPrintableASCII(text);
}

std::string converted(std::string_view text) {
    return latinASCIITransform(text).stringValue();
}

std::string convertedAddress(std::string_view address) {
    const OSCAddressPattern pattern(address);
    const ByteView bytes = pattern.rawData();
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void checkBlobSize(std::size_t size) {
    // The length field is a signed 32-bit number.
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw OSCEncodeError::general();
}

} // namespace osccore::writer
