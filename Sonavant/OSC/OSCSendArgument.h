#pragma once
// The one optional argument of a desk send. The send entry takes a list of floats, an
// integer or a double; the other kinds exist so a wrong argument is refused by name.

#include <concepts>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

class OSCSendArgument {
public:
    using Storage =
        std::variant<std::monostate, std::vector<float>, std::int64_t, double, float, std::string, bool>;

    OSCSendArgument() = default;
    OSCSendArgument(std::vector<float> values) : storage_(std::move(values)) {}
    OSCSendArgument(std::initializer_list<float> values) : storage_(std::vector<float>(values)) {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) OSCSendArgument(T value) : storage_(static_cast<std::int64_t>(value)) {}
    OSCSendArgument(double value) : storage_(value) {}
    OSCSendArgument(float value) : storage_(value) {}
    OSCSendArgument(std::string value) : storage_(std::move(value)) {}
    OSCSendArgument(const char* value) : storage_(std::string(value)) {}
    OSCSendArgument(bool value) : storage_(value) {}

    bool isNone() const { return std::holds_alternative<std::monostate>(storage_); }
    const Storage& storage() const { return storage_; }
    // The argument as the send line shows it ("5", "0.13", "[1.0, 2.0]").
    std::string text() const;
    // The kind's name in refusals ("Float", "String", "Bool").
    std::string typeName() const;

private:
    Storage storage_;
};
