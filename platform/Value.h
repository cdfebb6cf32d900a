#pragma once
// The neutral value tree every record codes itself into once; property lists and JSON
// are only two ways of writing it.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace platform {

class Value;
using ValueArray = std::vector<Value>;
using ValueObject = std::map<std::string, Value>; // ordered: keys come out sorted
using Bytes = std::vector<std::uint8_t>;

// `marker`: read from the property-list text "$null", which is also what a text "$null"
// was written as; a field that expects text reads it back as that text.
struct Null {
    bool marker = false;
    bool operator==(const Null&) const { return true; }
};

// A moment as seconds since 2001-01-01T00:00:00Z, the reference date of property lists.
struct Date {
    double secondsSinceReferenceDate = 0;
    bool operator==(const Date&) const = default;
};

class Value {
public:
    enum class Kind { null, boolean, integer, real, text, data, date, array, object };

    Value() = default;
    Value(Null n) : storage_(n) {}
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(unsigned i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(double d) : storage_(d) {}
    Value(float f) : storage_(static_cast<double>(f)) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(Bytes d) : storage_(std::move(d)) {}
    Value(Date d) : storage_(d) {}
    Value(ValueArray a) : storage_(std::move(a)) {}
    Value(ValueObject o) : storage_(std::move(o)) {}

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    bool isNull() const { return kind() == Kind::null; }
    bool isNullMarker() const {
        auto n = std::get_if<Null>(&storage_);
        return n && n->marker;
    }

    // Typed access: nullptr when the value is of another kind.
    const bool* asBool() const { return std::get_if<bool>(&storage_); }
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&storage_); }
    const double* asReal() const { return std::get_if<double>(&storage_); }
    const std::string* asText() const { return std::get_if<std::string>(&storage_); }
    const Bytes* asData() const { return std::get_if<Bytes>(&storage_); }
    const Date* asDate() const { return std::get_if<Date>(&storage_); }
    const ValueArray* asArray() const { return std::get_if<ValueArray>(&storage_); }
    const ValueObject* asObject() const { return std::get_if<ValueObject>(&storage_); }
    ValueArray* asArray() { return std::get_if<ValueArray>(&storage_); }
    ValueObject* asObject() { return std::get_if<ValueObject>(&storage_); }

    // An integer or a real, as a double (property lists and JSON may write 5 for 5.0).
    const double* asNumber(double& scratch) const {
        if (auto r = asReal())
            return r;
        if (auto i = asInteger()) {
            scratch = static_cast<double>(*i);
            return &scratch;
        }
        return nullptr;
    }

    // Member of an object, or nullptr when absent or when this is no object.
    const Value* find(const std::string& key) const {
        auto o = asObject();
        if (!o)
            return nullptr;
        auto it = o->find(key);
        return it == o->end() ? nullptr : &it->second;
    }

    bool operator==(const Value&) const = default;

private:
    std::variant<Null, bool, std::int64_t, double, std::string, Bytes, Date, ValueArray, ValueObject>
        storage_;
};

const char* kindName(Value::Kind kind);

// A value tree that does not fit what the reader expects. `path` names the key path
// ("appState.speakers[3].focus"), `what()` says what went wrong there.
class CodingError : public std::runtime_error {
public:
    enum class Reason { keyNotFound, typeMismatch, dataCorrupted, valueNotFound };
    CodingError(Reason reason, std::string path, const std::string& message);
    Reason reason() const { return reason_; }
    const std::string& path() const { return path_; }

private:
    Reason reason_;
    std::string path_;
};

} // namespace platform
