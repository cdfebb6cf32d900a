#include "OSCCore/OSCValue.h"

#include "OSCCore/Hashing.h"
#include "OSCCore/NumberText.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

constexpr std::string_view typeNames[] = {"Int32",        "Float",         "String",
                                          "Data",         "Bool",          "Character",
                                          "Double",       "Int64",         "OSCImpulseValue",
                                          "OSCMIDIValue", "OSCNullValue",  "OSCStringAltValue",
                                          "OSCTimeTag",   "OSCArrayValue", "Int",
                                          "Int8",         "Int16",         "UInt8",
                                          "UInt16",       "UInt32",        "UInt",
                                          "UInt64",       "Float16",       "CGFloat"};
static_assert(std::size(typeNames) == std::variant_size_v<OSCValue::Storage>);

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

std::size_t floatHash(double v) {
    if (v == 0)
        return 0; // 0.0 and -0.0 are equal
    return std::hash<std::uint64_t>{}(std::bit_cast<std::uint64_t>(v));
}

} // namespace

OSCValueToken OSCValue::oscValueToken() const {
    static constexpr OSCValueToken tokens[] = {
        OSCValueToken::int32,   OSCValueToken::float32,   OSCValueToken::string,  OSCValueToken::blob,
        OSCValueToken::bool_,   OSCValueToken::character, OSCValueToken::double_, OSCValueToken::int64,
        OSCValueToken::impulse, OSCValueToken::midi,      OSCValueToken::null,    OSCValueToken::stringAlt,
        OSCValueToken::timeTag, OSCValueToken::array,     OSCValueToken::int32,   OSCValueToken::int32,
        OSCValueToken::int32,   OSCValueToken::int32,     OSCValueToken::int32,   OSCValueToken::int64,
        OSCValueToken::int64,   OSCValueToken::int64,     OSCValueToken::float32, OSCValueToken::double_};
    static_assert(std::size(tokens) == std::variant_size_v<Storage>);
    return tokens[storage_.index()];
}

bool OSCValue::isInteger() const {
    return std::visit([]<class T>(const T&) { return std::is_integral_v<T> && !std::is_same_v<T, bool>; },
                      storage_) ||
           is<OSCInt>() || is<OSCUInt>();
}

bool OSCValue::isFloatingPoint() const {
    return is<float>() || is<double>() || is<OSCFloat16>() || is<OSCGraphicsFloat>();
}

std::string_view OSCValue::typeName() const {
    return typeNames[storage_.index()];
}

std::string OSCValue::description() const {
    return std::visit(
        Overloaded{
            [](float v) { return osccore::numberText(v); }, [](double v) { return osccore::numberText(v); },
            [](bool v) { return std::string(v ? "true" : "false"); }, [](const std::string& v) { return v; },
            [](const Data& v) { return std::to_string(v.size()) + " bytes"; },
            [](const ASCIICharacter& v) { return v.description(); },
            [](const OSCImpulseValue&) { return std::string("Impulse"); },
            [](const OSCNullValue&) { return std::string("Null"); },
            [](const OSCMIDIValue& v) { return v.description(); },
            [](const OSCStringAltValue& v) { return v.string; },
            [](const OSCTimeTag& v) { return v.description(); },
            [](const OSCArrayValue& v) {
                std::string out = "[";
                for (std::size_t i = 0; i < v.elements.size(); ++i)
                    out += (i ? ", " : "") + v.elements[i].debugDescription();
                return out + "]";
            },
            [](const OSCInt& v) { return std::to_string(v.value); },
            [](const OSCUInt& v) { return std::to_string(v.value); },
            [](const OSCFloat16& v) { return osccore::numberText(v.toFloat()); },
            [](const OSCGraphicsFloat& v) { return osccore::numberText(v.value); },
            [](auto v) { return std::to_string(v); }, // the fixed-width integers
        },
        storage_);
}

std::string OSCValue::debugDescription() const {
    if (auto s = as<std::string>())
        return quoted(*s);
    if (auto s = as<OSCStringAltValue>())
        return quoted(s->string);
    if (auto c = as<ASCIICharacter>())
        return quoted(c->description());
    return description();
}

bool OSCValue::operator==(const OSCValue& other) const {
    return storage_ == other.storage_;
}

bool oscValuesEqual(std::span<const OSCValue> a, std::span<const OSCValue> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::size_t std::hash<OSCValue>::operator()(const OSCValue& value) const noexcept {
    std::size_t seed = value.storage().index();
    std::visit(Overloaded{
                   [&](float v) { osccore::hashCombine(seed, floatHash(v)); },
                   [&](double v) { osccore::hashCombine(seed, floatHash(v)); },
                   [&](const std::string& v) { osccore::hashFeed(seed, v); },
                   [&](const Data& v) {
                       osccore::hashFeed(seed,
                                         std::string_view(reinterpret_cast<const char*>(v.data()), v.size()));
                   },
                   [&](const ASCIICharacter& v) { osccore::hashFeed(seed, v); },
                   [&](const OSCImpulseValue&) {},
                   [&](const OSCNullValue&) {},
                   [&](const OSCMIDIValue& v) {
                       osccore::hashCombine(seed, std::size_t(v.portID) << 24 | std::size_t(v.status) << 16 |
                                                      std::size_t(v.data1) << 8 | v.data2);
                   },
                   [&](const OSCStringAltValue& v) { osccore::hashFeed(seed, v.string); },
                   [&](const OSCTimeTag& v) { osccore::hashFeed(seed, v); },
                   [&](const OSCArrayValue& v) {
                       for (const auto& e : v.elements)
                           osccore::hashCombine(seed, (*this)(e));
                   },
                   [&](const OSCInt& v) { osccore::hashFeed(seed, v.value); },
                   [&](const OSCUInt& v) { osccore::hashFeed(seed, v.value); },
                   [&](const OSCFloat16& v) { osccore::hashCombine(seed, floatHash(v.toFloat())); },
                   [&](const OSCGraphicsFloat& v) { osccore::hashCombine(seed, floatHash(v.value)); },
                   [&](auto v) { osccore::hashFeed(seed, v); },
               },
               value.storage());
    return seed;
}
