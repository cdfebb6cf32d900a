#pragma once
// Every failure to encode a message or bundle.

#include <exception>

class OSCEncodeError : public std::exception {
public:
    enum class Kind { general, unexpectedEncoder };

    explicit OSCEncodeError(Kind kind) : kind_(kind) {}
    static OSCEncodeError general() { return OSCEncodeError(Kind::general); }
    static OSCEncodeError unexpectedEncoder() { return OSCEncodeError(Kind::unexpectedEncoder); }

    Kind kind() const { return kind_; }
    const char* what() const noexcept override {
        return kind_ == Kind::general ? "General error." : "Unexpected encoder type.";
    }
    bool operator==(const OSCEncodeError& other) const { return kind_ == other.kind_; }

private:
    Kind kind_;
};
