#pragma once
// The OSC null ("N"): no payload; all nulls are equal.

struct OSCNullValue {
    bool operator==(const OSCNullValue&) const = default;
};
