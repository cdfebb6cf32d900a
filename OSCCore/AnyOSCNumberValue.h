#pragma once
// Any received number, whatever kind the sender used; read it as a double. Masking gives
// it for every integer and float argument. It is never itself an argument.

#include "OSCCore/OSCNumberValueBase.h"
#include "OSCCore/OSCValueToken.h"

#include <functional>

struct AnyOSCNumberValue {
    static constexpr OSCValueToken oscValueToken = OSCValueToken::number;

    OSCNumberValueBase base;

    explicit AnyOSCNumberValue(OSCNumberValueBase b) : base(b) {}

    double doubleValue() const { return base.doubleValue(); }
    std::optional<std::int64_t> intValue() const { return base.intValue(); }
    std::string description() const { return base.description(); }

    bool operator==(const AnyOSCNumberValue& other) const { return base == other.base; }
};

template <> struct std::hash<AnyOSCNumberValue> {
    std::size_t operator()(const AnyOSCNumberValue& v) const noexcept { return v.base.hashValue(); }
};
