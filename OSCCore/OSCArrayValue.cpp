#include "OSCCore/OSCArrayValue.h"

#include "OSCCore/OSCValue.h"

OSCArrayValue::OSCArrayValue() = default;
OSCArrayValue::OSCArrayValue(std::vector<OSCValue> e) : elements(std::move(e)) {}
OSCArrayValue::OSCArrayValue(const OSCArrayValue&) = default;
OSCArrayValue::OSCArrayValue(OSCArrayValue&&) noexcept = default;
OSCArrayValue& OSCArrayValue::operator=(const OSCArrayValue&) = default;
OSCArrayValue& OSCArrayValue::operator=(OSCArrayValue&&) noexcept = default;
OSCArrayValue::~OSCArrayValue() = default;
bool OSCArrayValue::operator==(const OSCArrayValue& other) const {
    return elements == other.elements;
}
