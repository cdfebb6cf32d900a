#pragma once
// A number that travels as its own type T; as an argument it is exactly a T.

#include "OSCCore/OSCNumberValueBase.h"
#include "OSCCore/OSCValue.h"

#include <functional>

template <class T> class OSCNumberValue {
public:
    explicit OSCNumberValue(T value) : value_(value) {}

    T value() const { return value_; }
    OSCNumberValueBase base() const {
        if constexpr (std::is_same_v<T, OSCFloat16>)
            return OSCNumberValueBase(value_.toFloat());
        else if constexpr (std::is_same_v<T, OSCInt> || std::is_same_v<T, OSCUInt> ||
                           std::is_same_v<T, OSCGraphicsFloat>)
            return OSCNumberValueBase(value_.value);
        else
            return OSCNumberValueBase(value_);
    }
    std::string description() const { return "Number(" + base().description() + ")"; }

    operator OSCValue() const { return OSCValue(value_); }
    bool operator==(const OSCNumberValue& other) const { return base() == other.base(); }

private:
    T value_;
};

template <class T> struct std::hash<OSCNumberValue<T>> {
    std::size_t operator()(const OSCNumberValue<T>& v) const noexcept { return v.base().hashValue(); }
};
