#include "OSCCore/OSCSerialization.h"

#include "OSCCore/OSCDecodeError.h"
#include "OSCCore/OSCSerializationError.h"

#include <array>

namespace {

OSCValue decodeCharacter(OSCValueDecoder& d) {
    const auto code = static_cast<std::uint32_t>(d.readInt32());
    if (code < 256) {
        const auto byte = static_cast<std::uint8_t>(code);
        if (auto c = ASCIICharacter::fromRawData(ByteView(&byte, 1)))
            return *c;
    }
    throw OSCDecodeError::malformed(
        "Character value couldn't be read. Could not form a Unicode scalar from the value.");
}

OSCValue decodeMIDI(OSCValueDecoder& d) {
    const ByteView b = d.readBytes(4);
    return OSCMIDIValue{b[0], b[1], b[2], b[3]};
}

OSCValue decodeBool(char tag, OSCValueDecoder&) {
    if (tag == 'T')
        return true;
    if (tag == 'F')
        return false;
    throw OSCDecodeError::unexpectedType(tag);
}

struct ArrayDepthGuard {
    explicit ArrayDepthGuard(OSCValueDecoder& d) : decoder(d) { ++decoder.arrayDepth; }
    ~ArrayDepthGuard() { --decoder.arrayDepth; }
    OSCValueDecoder& decoder;
};

std::optional<std::pair<int, OSCValue>> decodeArray(std::string_view tags, OSCValueDecoder& d) {
    static const char* const notFound = "Array termination tag ']' was not found.";
    if (tags.empty() || tags[0] != '[')
        return std::nullopt;
    const std::string_view inner = tags.substr(1);
    if (inner.empty())
        throw OSCDecodeError::malformed(notFound);
    // Each level recurses; a datagram must not be able to exhaust the stack.
    if (d.arrayDepth >= OSCValueDecoder::maxArrayDepth)
        throw OSCDecodeError::malformed("Array nesting is too deep.");
    ArrayDepthGuard guard(d);
    const OSCSerialization& registry = d.context != nullptr ? *d.context : OSCSerialization::shared();
    OSCValues elements;
    std::size_t i = 0;
    while (inner[i] != ']') {
        i += static_cast<std::size_t>(registry.decoderForTag(i, inner, d, elements));
        if (i >= inner.size())
            throw OSCDecodeError::malformed(notFound);
    }
    return std::pair{static_cast<int>(i + 2), OSCValue(OSCArrayValue(std::move(elements).vector()))};
}

// The core types' own reads, by registry index; the array (13) is not among them. The value
// is built straight into the list.
void decodeCoreInto(std::size_t index, char tag, OSCValueDecoder& d, OSCValues& values) {
    switch (index) {
    case 0:
        return values.emplace_back(d.readInt32());
    case 1:
        return values.emplace_back(d.readFloat32());
    case 2:
        return values.emplace_back(d.readPaddedString());
    case 3:
        return values.emplace_back(d.readBlob());
    case 4:
        return values.emplace_back(decodeBool(tag, d));
    case 5:
        return values.emplace_back(decodeCharacter(d));
    case 6:
        return values.emplace_back(d.readDouble());
    case 7:
        return values.emplace_back(d.readInt64());
    case 8:
        return values.emplace_back(OSCImpulseValue{});
    case 9:
        return values.emplace_back(decodeMIDI(d));
    case 10:
        return values.emplace_back(OSCNullValue{});
    case 11:
        return values.emplace_back(OSCStringAltValue(d.readPaddedString()));
    default:
        return values.emplace_back(OSCTimeTag(d.readUInt64(), 0));
    }
}

OSCValue decodeCore(std::size_t index, char tag, OSCValueDecoder& d) {
    OSCValues one;
    decodeCoreInto(index, tag, d, one);
    return one.front();
}

constexpr std::size_t arrayIndex = 13;

template <std::size_t Index> OSCValueAtomicDecoder coreAtomic() {
    return {[](OSCValueDecoder& d) { return decodeCore(Index, 0, d); }};
}

std::vector<OSCValueType> makeCoreTypes() {
    using Id = OSCValueTagIdentity;
    using T = OSCValueToken;
    return {
        {"Int32", Id::atomic('i'), T::int32, coreAtomic<0>()},
        {"Float", Id::atomic('f'), T::float32, coreAtomic<1>()},
        {"String", Id::atomic('s'), T::string, coreAtomic<2>()},
        {"Data", Id::atomic('b'), T::blob, coreAtomic<3>()},
        {"Bool", Id::variable("TF"), T::bool_, OSCValueVariableDecoder{decodeBool}},
        {"Character", Id::atomic('c'), T::character, coreAtomic<5>()},
        {"Double", Id::atomic('d'), T::double_, coreAtomic<6>()},
        {"Int64", Id::atomic('h'), T::int64, coreAtomic<7>()},
        {"OSCImpulseValue", Id::atomic('I'), T::impulse, coreAtomic<8>()},
        {"OSCMIDIValue", Id::atomic('m'), T::midi, coreAtomic<9>()},
        {"OSCNullValue", Id::atomic('N'), T::null, coreAtomic<10>()},
        {"OSCStringAltValue", Id::atomic('S'), T::stringAlt, coreAtomic<11>()},
        {"OSCTimeTag", Id::atomic('t'), T::timeTag, coreAtomic<12>()},
        {"OSCArrayValue", Id::variadic(2, std::nullopt), T::array, OSCValueVariadicDecoder{decodeArray}},
    };
}

} // namespace

struct OSCSerialization::Table {
    explicit Table(std::vector<OSCValueType> types) : entries(std::move(types)) {
        for (std::size_t tag = 0; tag < candidates.size(); ++tag)
            for (std::size_t k = 0; k < entries.size(); ++k) {
                const auto& identity = entries[k].oscTagIdentity;
                if (identity.kind() == OSCValueTagIdentity::Kind::variadic ||
                    identity.matches(static_cast<char>(tag)))
                    candidates[tag].push_back(static_cast<std::uint32_t>(k));
            }
    }

    std::vector<OSCValueType> entries;
    std::array<std::vector<std::uint32_t>, 256> candidates; // entry indices by tag byte
};

OSCSerialization::OSCSerialization() {
    tables_.push_back(std::make_unique<const Table>(coreOSCValueTypes()));
    table_.store(tables_.back().get(), std::memory_order_release);
}

OSCSerialization::~OSCSerialization() = default;

OSCSerialization& OSCSerialization::shared() {
    // Never destroyed: a thread may still be decoding while the process exits.
    static OSCSerialization* const instance = new OSCSerialization();
    return *instance;
}

const std::vector<OSCValueType>& OSCSerialization::coreOSCValueTypes() {
    // Never destroyed: receive threads may still decode while the process exits.
    static const auto* types = new std::vector<OSCValueType>(makeCoreTypes());
    return *types;
}

void OSCSerialization::registerType(OSCValueType type) {
    std::lock_guard lock(registerMutex_);
    const Table& current = *table_.load(std::memory_order_acquire);
    const auto& identity = type.oscTagIdentity;
    if (identity.kind() != OSCValueTagIdentity::Kind::variadic && !identity.tags().empty() &&
        !current.entries.empty()) {
        bool allTaken = true;
        for (char tag : identity.tags()) {
            bool taken = false;
            for (const auto& entry : current.entries)
                if (entry.oscTagIdentity.matches(tag))
                    taken = true;
            if (!taken) {
                allTaken = false;
                break;
            }
        }
        if (allTaken)
            throw OSCSerializationError::tagAlreadyRegistered();
    }
    std::vector<OSCValueType> entries = current.entries;
    entries.push_back(std::move(type));
    tables_.push_back(std::make_unique<const Table>(std::move(entries)));
    table_.store(tables_.back().get(), std::memory_order_release);
}

std::vector<OSCValueType> OSCSerialization::registeredTypes(char tag) const {
    const Table& table = *table_.load(std::memory_order_acquire);
    std::vector<OSCValueType> out;
    for (auto k : table.candidates[static_cast<unsigned char>(tag)])
        out.push_back(table.entries[k]);
    return out;
}

int OSCSerialization::decoderForTag(std::size_t i, std::string_view tags, OSCValueDecoder& decoder,
                                    OSCValues& values) const {
    const Table& table = *table_.load(std::memory_order_acquire);
    const char tag = tags[i];
    const auto& candidates = table.candidates[static_cast<unsigned char>(tag)];
    if (candidates.empty())
        throw OSCDecodeError::malformed(std::string("No concrete type found to decode OSC type tag: ") + tag);
    // A core type first in line always answers (or throws), so it is read directly.
    if (candidates[0] < arrayIndex) {
        decodeCoreInto(candidates[0], tag, decoder, values);
        return 1;
    }
    for (auto k : candidates) {
        if (auto decoded = decodeValueOfType(table.entries[k], i, tags, decoder)) {
            if (decoded->first < 1 || static_cast<std::size_t>(decoded->first) > tags.size() - i)
                throw OSCDecodeError::internalInconsistency("Decoder of " + table.entries[k].name + " used " +
                                                            std::to_string(decoded->first) + " type tags.");
            values.push_back(std::move(decoded->second));
            return decoded->first;
        }
    }
    throw OSCDecodeError::malformed(std::string("No decoder found to decode OSC type tag: ") + tag);
}

std::optional<std::pair<int, OSCValue>> OSCSerialization::decodeValueOfType(const OSCValueType& type,
                                                                            std::size_t i,
                                                                            std::string_view tags,
                                                                            OSCValueDecoder& decoder) {
    const char tag = tags[i];
    const auto missing = [&] {
        return OSCDecodeError::malformed(std::string("No decoder is implemented for OSC type tag: ") + tag);
    };
    if (auto atomic = std::get_if<OSCValueAtomicDecoder>(&type.oscDecoding)) {
        if (!atomic->block)
            throw missing();
        return std::pair{1, atomic->block(decoder)};
    }
    if (auto variable = std::get_if<OSCValueVariableDecoder>(&type.oscDecoding)) {
        if (!variable->block)
            throw missing();
        return std::pair{1, variable->block(tag, decoder)};
    }
    const auto& variadic = std::get<OSCValueVariadicDecoder>(type.oscDecoding);
    if (!variadic.block)
        throw missing();
    return variadic.block(tags.substr(i), decoder);
}
