#pragma once
// One OSC argument. The C++ type of a value decides its tag, so widths never guess:
// int32_t goes out as "i", int64_t as "h", float as "f", double as "d". Other integer and
// float types either have a type of their own below (travelling as one of those four) or
// are refused at compile time.

#include "OSCCore/ASCIICharacter.h"
#include "OSCCore/Data.h"
#include "OSCCore/OSCArrayValue.h"
#include "OSCCore/OSCImpulseValue.h"
#include "OSCCore/OSCInterpolatedValue.h"
#include "OSCCore/OSCMIDIValue.h"
#include "OSCCore/OSCNullValue.h"
#include "OSCCore/OSCStringAltValue.h"
#include "OSCCore/OSCTimeTag.h"
#include "OSCCore/OSCValueToken.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

class OSCValue {
public:
    // The first fourteen are the core types that answer to incoming tags, in registry order;
    // the rest travel as one of them and never come out of a decode.
    using Storage = std::variant<std::int32_t,      // "i"
                                 float,             // "f"
                                 std::string,       // "s"
                                 Data,              // "b"
                                 bool,              // "T" / "F"
                                 ASCIICharacter,    // "c"
                                 double,            // "d"
                                 std::int64_t,      // "h"
                                 OSCImpulseValue,   // "I"
                                 OSCMIDIValue,      // "m"
                                 OSCNullValue,      // "N"
                                 OSCStringAltValue, // "S"
                                 OSCTimeTag,        // "t"
                                 OSCArrayValue,     // "[" ... "]"
                                 OSCInt,            // as "i"
                                 std::int8_t,       // as "i"
                                 std::int16_t,      // as "i"
                                 std::uint8_t,      // as "i"
                                 std::uint16_t,     // as "i"
                                 std::uint32_t,     // as "h"
                                 OSCUInt,           // as "h"
                                 std::uint64_t,     // as "h"
                                 OSCFloat16,        // as "f"
                                 OSCGraphicsFloat>; // as "d"
    static constexpr std::size_t coreTypeCount = 14;

    OSCValue(std::int32_t v) : storage_(v) {}
    OSCValue(std::int64_t v) : storage_(v) {}
    OSCValue(float v) : storage_(v) {}
    OSCValue(double v) : storage_(v) {}
    OSCValue(bool v) : storage_(v) {}
    OSCValue(const char* text) : storage_(std::in_place_type<std::string>, text) {}
    OSCValue(std::string text) : storage_(std::in_place_type<std::string>, std::move(text)) {}
    OSCValue(std::string_view text) : storage_(std::in_place_type<std::string>, text) {}
    OSCValue(Data blob) : storage_(std::in_place_type<Data>, std::move(blob)) {}
    OSCValue(ASCIICharacter c) : storage_(std::move(c)) {}
    OSCValue(OSCImpulseValue v) : storage_(v) {}
    OSCValue(OSCMIDIValue v) : storage_(v) {}
    OSCValue(OSCNullValue v) : storage_(v) {}
    OSCValue(OSCStringAltValue v) : storage_(std::move(v)) {}
    OSCValue(OSCTimeTag v) : storage_(v) {}
    OSCValue(OSCArrayValue v) : storage_(std::move(v)) {}
    OSCValue(OSCInt v) : storage_(v) {}
    OSCValue(std::int8_t v) : storage_(v) {}
    OSCValue(std::int16_t v) : storage_(v) {}
    OSCValue(std::uint8_t v) : storage_(v) {}
    OSCValue(std::uint16_t v) : storage_(v) {}
    OSCValue(std::uint32_t v) : storage_(v) {}
    OSCValue(OSCUInt v) : storage_(v) {}
    OSCValue(std::uint64_t v) : storage_(v) {}
    OSCValue(OSCFloat16 v) : storage_(v) {}
    OSCValue(OSCGraphicsFloat v) : storage_(v) {}

    // Any other number type (char, long long, long double, ...) would have to guess its tag.
    template <class T>
    requires std::is_arithmetic_v<T> OSCValue(T)
    = delete;
    OSCValue(std::nullptr_t) = delete;
    template <class T>
    requires(!std::is_same_v<std::remove_cv_t<T>, char>) OSCValue(T*)
    = delete;

    const Storage& storage() const { return storage_; }
    template <class T> const T* as() const { return std::get_if<T>(&storage_); }
    template <class T> bool is() const { return std::holds_alternative<T>(storage_); }

    // The kind the value's type declares.
    OSCValueToken oscValueToken() const;
    // An integer of any width or signedness.
    bool isInteger() const;
    bool isFloatingPoint() const;
    // Travels as one of the core kinds (not itself a core type).
    bool isInterpolated() const { return storage_.index() >= coreTypeCount; }
    // The type's name, as the pretty description shows it.
    std::string_view typeName() const;

    // Text of the value; strings plain.
    std::string description() const;
    // Text of the value inside a list; strings and characters quoted.
    std::string debugDescription() const;

    // Same type and equal value; values of different types are never equal.
    bool operator==(const OSCValue& other) const;

private:
    Storage storage_;
};

// Element by element, under each value's own equality.
bool oscValuesEqual(std::span<const OSCValue> a, std::span<const OSCValue> b);

template <> struct std::hash<OSCValue> { std::size_t operator()(const OSCValue& value) const noexcept; };
