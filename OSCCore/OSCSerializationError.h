#pragma once
// Refusal of a value type whose tags are all taken already.

#include <exception>

class OSCSerializationError : public std::exception {
public:
    enum class Kind { tagAlreadyRegistered };

    static OSCSerializationError tagAlreadyRegistered() { return OSCSerializationError(); }
    Kind kind() const { return Kind::tagAlreadyRegistered; }
    const char* what() const noexcept override { return "Tag already registered"; }
};
