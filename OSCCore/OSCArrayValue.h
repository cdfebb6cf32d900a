#pragma once
// An OSC array ("[" ... "]"): a list of values of any type, arrays included.

#include <vector>

class OSCValue;

struct OSCArrayValue {
    std::vector<OSCValue> elements;

    OSCArrayValue();
    explicit OSCArrayValue(std::vector<OSCValue> elements);
    OSCArrayValue(const OSCArrayValue&);
    OSCArrayValue(OSCArrayValue&&) noexcept;
    OSCArrayValue& operator=(const OSCArrayValue&);
    OSCArrayValue& operator=(OSCArrayValue&&) noexcept;
    ~OSCArrayValue();

    bool operator==(const OSCArrayValue& other) const;
};
