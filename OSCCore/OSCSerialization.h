#pragma once
// The registry of value types by type tag. Incoming tags find their types here, in
// registration order; the fourteen core types come first. Lookups never lock: the table is
// replaced as a whole on registration, and tables are never freed.

#include "OSCCore/OSCValue.h"
#include "OSCCore/OSCValueDecoder.h"
#include "OSCCore/OSCValueTagIdentity.h"
#include "OSCCore/OSCValueToken.h"
#include "OSCCore/OSCValues.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// Decoder blocks: how a type reads its payload.
struct OSCValueAtomicDecoder {
    std::function<OSCValue(OSCValueDecoder&)> block;
};
struct OSCValueVariableDecoder {
    std::function<OSCValue(char tag, OSCValueDecoder&)> block;
};
// Given the tags from the current one to the end: nothing when the value is not of this
// type, else the number of tags it used and the value.
struct OSCValueVariadicDecoder {
    std::function<std::optional<std::pair<int, OSCValue>>(std::string_view tags, OSCValueDecoder&)> block;
};
using OSCValueDecoderBlock =
    std::variant<OSCValueAtomicDecoder, OSCValueVariableDecoder, OSCValueVariadicDecoder>;

// What a value type declares to be registered.
struct OSCValueType {
    std::string name;
    OSCValueTagIdentity oscTagIdentity;
    OSCValueToken oscValueToken;
    OSCValueDecoderBlock oscDecoding;
};

class OSCSerialization {
public:
    // A registry holding the core types.
    OSCSerialization();
    ~OSCSerialization();
    OSCSerialization(const OSCSerialization&) = delete;
    OSCSerialization& operator=(const OSCSerialization&) = delete;

    // The process-wide registry that message parsing uses; built once, on first use.
    static OSCSerialization& shared();
    // The fourteen core types, in registry order.
    static const std::vector<OSCValueType>& coreOSCValueTypes();

    // Appends a type; throws OSCSerializationError when every one of its tags is taken.
    void registerType(OSCValueType type);
    // The types whose identity matches the tag, and every variadic type, in registration order.
    std::vector<OSCValueType> registeredTypes(char tag) const;

    // Decodes one value at tag index `i`, appends it and returns the number of tags it used.
    int decoderForTag(std::size_t i, std::string_view tags, OSCValueDecoder& decoder,
                      OSCValues& values) const;
    // Runs one candidate type's decoder block.
    static std::optional<std::pair<int, OSCValue>> decodeValueOfType(const OSCValueType& type, std::size_t i,
                                                                     std::string_view tags,
                                                                     OSCValueDecoder& decoder);

private:
    struct Table;
    std::atomic<const Table*> table_;
    std::mutex registerMutex_;
    std::vector<std::unique_ptr<const Table>> tables_;
};
