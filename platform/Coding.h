#pragma once
// Keyed coding into the value tree. A record defines, once,
//     platform::Value encode() const;
//     static T decode(const platform::Value& value, const std::string& path);
// and `Coder<T>` finds those; built-in types have their own coders below.

#include "platform/Value.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace platform {

std::string joinPath(const std::string& path, const std::string& key);
std::string indexPath(const std::string& path, std::size_t index);
[[noreturn]] void throwTypeMismatch(const std::string& path, const char* expected, const Value& found);

template <class T, class = void> struct Coder {
    static Value encode(const T& v) { return v.encode(); }
    static T decode(const Value& v, const std::string& path) { return T::decode(v, path); }
};

template <> struct Coder<bool> {
    static Value encode(bool v) { return Value(v); }
    static bool decode(const Value& v, const std::string& path) {
        if (auto b = v.asBool())
            return *b;
        throwTypeMismatch(path, "Bool", v);
    }
};

// Integers of any width; an exact real (5.0) is accepted, as readers of JSON expect.
template <class T> struct Coder<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
    static Value encode(T v) { return Value(static_cast<long long>(v)); }
    static T decode(const Value& v, const std::string& path) {
        long double wide;
        if (auto i = v.asInteger())
            wide = static_cast<long double>(*i);
        else if (auto r = v.asReal(); r && std::isfinite(*r) && std::trunc(*r) == *r)
            wide = *r;
        else
            throwTypeMismatch(path, "Int", v);
        if (wide < static_cast<long double>(std::numeric_limits<T>::min()) ||
            wide > static_cast<long double>(std::numeric_limits<T>::max()))
            throw CodingError(CodingError::Reason::dataCorrupted, path,
                              "Number does not fit the integer type.");
        return static_cast<T>(wide);
    }
};

// The largest magnitude a float field takes; beyond it the value would turn infinite, which
// no save accepts, so it is refused here as the readers refuse non-finite numbers.
inline constexpr double floatRangeLimit = 3.4028235e38;

template <class T> struct Coder<T, std::enable_if_t<std::is_floating_point_v<T>>> {
    static Value encode(T v) { return Value(static_cast<double>(v)); }
    static T decode(const Value& v, const std::string& path) {
        double scratch;
        auto d = v.asNumber(scratch);
        if (!d)
            throwTypeMismatch(path, "Double", v);
        if constexpr (std::is_same_v<T, float>)
            if (std::fabs(*d) > floatRangeLimit)
                throw CodingError(CodingError::Reason::dataCorrupted, path,
                                  "Number does not fit the float type.");
        return static_cast<T>(*d);
    }
};

template <> struct Coder<std::string> {
    static Value encode(const std::string& v) { return Value(v); }
    static std::string decode(const Value& v, const std::string& path) {
        if (auto s = v.asText())
            return *s;
        if (v.isNullMarker())
            return "$null";
        throwTypeMismatch(path, "String", v);
    }
};

template <class T> struct Coder<std::vector<T>> {
    static Value encode(const std::vector<T>& v) {
        ValueArray out;
        out.reserve(v.size());
        for (const auto& e : v)
            out.push_back(Coder<T>::encode(e));
        return Value(std::move(out));
    }
    static std::vector<T> decode(const Value& v, const std::string& path) {
        auto a = v.asArray();
        if (!a)
            throwTypeMismatch(path, "Array", v);
        std::vector<T> out;
        out.reserve(a->size());
        for (std::size_t i = 0; i < a->size(); ++i)
            out.push_back(Coder<T>::decode((*a)[i], indexPath(path, i)));
        return out;
    }
};

// A dictionary with text keys.
template <class T> struct Coder<std::map<std::string, T>> {
    static Value encode(const std::map<std::string, T>& m) {
        ValueObject out;
        for (const auto& [k, e] : m)
            out.emplace(k, Coder<T>::encode(e));
        return Value(std::move(out));
    }
    static std::map<std::string, T> decode(const Value& v, const std::string& path) {
        auto o = v.asObject();
        if (!o)
            throwTypeMismatch(path, "Dictionary", v);
        std::map<std::string, T> out;
        for (const auto& [k, e] : *o)
            out.emplace(k, Coder<T>::decode(e, joinPath(path, k)));
        return out;
    }
};

template <> struct Coder<Value> {
    static Value encode(const Value& v) { return v; }
    static Value decode(const Value& v, const std::string&) { return v; }
};

template <class T> Value encodeValue(const T& v) {
    return Coder<T>::encode(v);
}
template <class T> T decodeValue(const Value& v, const std::string& path = "") {
    return Coder<T>::decode(v, path);
}

// Reads the members of one object; every error names the key path.
class KeyedDecoder {
public:
    KeyedDecoder(const Value& value, std::string path);

    const std::string& path() const { return path_; }
    bool contains(const std::string& key) const { return object_->count(key) != 0; }
    // Present and not null.
    bool hasValue(const std::string& key) const {
        auto v = member(key);
        return v && !v->isNull();
    }

    // Required: absent gives keyNotFound, null gives valueNotFound (for text, the
    // property-list marker is the text "$null").
    template <class T> T decode(const std::string& key) const {
        auto v = member(key);
        if (!v)
            throw CodingError(CodingError::Reason::keyNotFound, joinPath(path_, key),
                              "No value associated with key \"" + key + "\".");
        if (v->isNull() && !(std::is_same_v<T, std::string> && v->isNullMarker()))
            throw CodingError(CodingError::Reason::valueNotFound, joinPath(path_, key),
                              "Expected a value for key \"" + key + "\" but found null.");
        return Coder<T>::decode(*v, joinPath(path_, key));
    }

    // Absent or null gives nothing; a value of the wrong type still fails. For a field
    // written only when present, the property-list marker is the text "$null".
    template <class T> std::optional<T> decodeIfPresent(const std::string& key) const {
        auto v = member(key);
        if (!v || (v->isNull() && !(std::is_same_v<T, std::string> && v->isNullMarker())))
            return std::nullopt;
        return Coder<T>::decode(*v, joinPath(path_, key));
    }

    // The counterpart of encodeOrNull: absent or any null, the marker included, gives nothing.
    template <class T> std::optional<T> decodeOrNull(const std::string& key) const {
        auto v = member(key);
        if (!v || v->isNull())
            return std::nullopt;
        return Coder<T>::decode(*v, joinPath(path_, key));
    }

    // Absent or null gives the fallback.
    template <class T> T decodeOr(const std::string& key, T fallback) const {
        auto v = decodeIfPresent<T>(key);
        return v ? std::move(*v) : std::move(fallback);
    }

    const Value* member(const std::string& key) const {
        auto it = object_->find(key);
        return it == object_->end() ? nullptr : &it->second;
    }

private:
    const ValueObject* object_;
    std::string path_;
};

// Builds one object.
class KeyedEncoder {
public:
    template <class T> void encode(const std::string& key, const T& v) { object_[key] = Coder<T>::encode(v); }
    // Written only when present.
    template <class T> void encodeIfPresent(const std::string& key, const std::optional<T>& v) {
        if (v)
            encode(key, *v);
    }
    // Written always, as null when empty.
    template <class T> void encodeOrNull(const std::string& key, const std::optional<T>& v) {
        if (v)
            encode(key, *v);
        else
            object_[key] = Value(Null{});
    }
    void set(const std::string& key, Value v) { object_[key] = std::move(v); }
    Value finish() && { return Value(std::move(object_)); }
    const ValueObject& object() const { return object_; }

private:
    ValueObject object_;
};

} // namespace platform
