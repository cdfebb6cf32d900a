#pragma once
// Failure of typed extraction of a message's arguments.

#include <exception>

class OSCValueMaskError : public std::exception {
public:
    enum class Kind { invalidCount, mismatchedTypes };

    explicit OSCValueMaskError(Kind kind) : kind_(kind) {}
    static OSCValueMaskError invalidCount() { return OSCValueMaskError(Kind::invalidCount); }
    static OSCValueMaskError mismatchedTypes() { return OSCValueMaskError(Kind::mismatchedTypes); }

    Kind kind() const { return kind_; }
    const char* what() const noexcept override {
        return kind_ == Kind::invalidCount ? "Invalid argument count" : "Mismatched types";
    }
    bool operator==(const OSCValueMaskError& other) const { return kind_ == other.kind_; }

private:
    Kind kind_;
};
