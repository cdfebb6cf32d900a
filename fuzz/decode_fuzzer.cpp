// libFuzzer target: any byte string gives a packet or an OSCDecodeError, nothing else, and
// a packet re-encodes to exactly its input. Built by fuzz/run.sh.

#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCObject.h"
#include "OSCCore/OSCPacketView.h"
#include "OSCCore/OSCValueMasking.h"

#include <cstdint>
#include <cstdlib>

namespace {

void exercise(const OSCObject& object) {
    if (const OSCMessage* message = object.message()) {
        // Rebuilt from its parts, a received message must encode and decode again.
        const OSCMessage rebuilt(message->addressPattern(), message->values());
        const Data bytes = rebuilt.rawData();
        if (!decodeOSCObject(bytes))
            std::abort();
        message->addressPattern().matches("/a/b/c");
        OSCAddressPattern("/a/b/c").matches(message->addressPattern().rawAddress());
        try {
            masked<AnyOSCNumberValue, AnyOSCNumberValue>(message->values());
        } catch (const OSCValueMaskError&) {
        }
        message->descriptionPretty();
    } else {
        for (const auto& element : object.bundle()->elements())
            exercise(element);
    }
}

// The in-place reader accepts nothing the full decoder refuses, and reads the same address
// and the same number of arguments.
void compareWithView(ByteView bytes) {
    OSCMessageView view;
    try {
        if (OSCMessageView::parse(bytes, view) != OSCMessageView::Status::ok)
            return;
    } catch (const OSCDecodeError&) {
        return;
    }
    std::size_t count = 0;
    for (const OSCArgumentView argument : view) {
        (void)argument.tag();
        ++count;
    }
    if (count != view.argumentCount())
        std::abort();
    try {
        const OSCMessage full = OSCMessage::fromRawData(bytes);
        if (full.addressPattern().rawAddress() != view.address() || full.values().size() != count)
            std::abort();
    } catch (const OSCDecodeError&) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536)
        return 0;
    const ByteView bytes(data, size);
    compareWithView(bytes);
    try {
        const auto object = decodeOSCObject(bytes);
        if (!object)
            return 0;
        if (object->rawData() != Data(bytes.begin(), bytes.end()))
            std::abort();
        object->description();
        exercise(*object);
    } catch (const OSCDecodeError&) {
    }
    return 0;
}
