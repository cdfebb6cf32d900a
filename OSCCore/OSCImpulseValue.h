#pragma once
// The OSC impulse ("I"): no payload; all impulses are equal.

struct OSCImpulseValue {
    bool operator==(const OSCImpulseValue&) const = default;
};
