#include "OSCCore/OSCObject.h"

#include "OSCCore/Hashing.h"

#include <algorithm>

std::optional<OSCObjectType> oscObjectType(ByteView rawData) {
    if (rawData.size() >= OSCBundle::header.size() &&
        std::equal(OSCBundle::header.begin(), OSCBundle::header.end(), rawData.begin()))
        return OSCObjectType::bundle;
    if (!rawData.empty() && rawData[0] == OSCMessage::addressPrefix)
        return OSCObjectType::message;
    return std::nullopt;
}

Data OSCObject::rawData() const {
    return std::visit([](const auto& packet) { return packet.rawData(); }, packet_);
}

void OSCObject::appendRawData(Data& out) const {
    std::visit([&](const auto& packet) { packet.appendRawData(out); }, packet_);
}

std::size_t OSCObject::sizeHint() const {
    return std::visit([](const auto& packet) { return packet.sizeHint(); }, packet_);
}

std::string OSCObject::description() const {
    return std::visit([](const auto& packet) { return packet.description(); }, packet_);
}

std::optional<OSCObject> OSCObject::decode(ByteView bytes, std::optional<Data>&& keep) {
    // Built in place in the result: a packet is large, and is not moved.
    const auto type = oscObjectType(bytes);
    if (type == OSCObjectType::bundle)
        return std::optional<OSCObject>(std::in_place, std::in_place_type<OSCBundle>, OSCBundle::Parse{},
                                        bytes, std::move(keep), 1);
    if (type == OSCObjectType::message)
        return std::optional<OSCObject>(std::in_place, std::in_place_type<OSCMessage>, OSCMessage::Parse{},
                                        bytes, std::move(keep));
    return std::nullopt;
}

std::optional<OSCObject> decodeOSCObject(ByteView bytes) {
    return OSCObject::decode(bytes, std::nullopt);
}

std::optional<OSCObject> decodeOSCObject(Data&& bytes) {
    const ByteView view(bytes);
    std::optional<Data> keep(std::move(bytes)); // the buffer moves, so the view stays valid
    return OSCObject::decode(view, std::move(keep));
}

std::size_t std::hash<OSCObject>::operator()(const OSCObject& object) const noexcept {
    std::size_t seed = object.packet().index();
    std::visit([&](const auto& packet) { osccore::hashFeed(seed, packet); }, object.packet());
    return seed;
}
