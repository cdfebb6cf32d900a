#pragma once
// A deadline came before the answer it bounded.

#include <stdexcept>
#include <string>

class TimeoutError : public std::runtime_error {
public:
    TimeoutError() : std::runtime_error("Timeout") {}
    static constexpr const char* domain = "Timeout";
    static constexpr int code = 1;
};
