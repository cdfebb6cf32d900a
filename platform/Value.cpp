#include "platform/Value.h"
#include "platform/Coding.h"

namespace platform {

const char* kindName(Value::Kind kind) {
    switch (kind) {
    case Value::Kind::null:
        return "null";
    case Value::Kind::boolean:
        return "Bool";
    case Value::Kind::integer:
        return "Int";
    case Value::Kind::real:
        return "Double";
    case Value::Kind::text:
        return "String";
    case Value::Kind::data:
        return "Data";
    case Value::Kind::date:
        return "Date";
    case Value::Kind::array:
        return "Array";
    case Value::Kind::object:
        return "Dictionary";
    }
    return "unknown";
}

CodingError::CodingError(Reason reason, std::string path, const std::string& message)
    : std::runtime_error((path.empty() ? std::string() : path + ": ") + message), reason_(reason),
      path_(std::move(path)) {}

std::string joinPath(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string indexPath(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

void throwTypeMismatch(const std::string& path, const char* expected, const Value& found) {
    throw CodingError(CodingError::Reason::typeMismatch, path,
                      std::string("Expected to decode ") + expected + " but found " + kindName(found.kind()) +
                          " instead.");
}

KeyedDecoder::KeyedDecoder(const Value& value, std::string path) : path_(std::move(path)) {
    object_ = value.asObject();
    if (!object_)
        throwTypeMismatch(path_, "Dictionary", value);
}

} // namespace platform
