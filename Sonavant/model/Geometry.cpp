#include "Sonavant/model/Geometry.h"

using platform::CodingError;
using platform::Value;

Value Point::encode() const {
    return Value(platform::ValueArray{Value(x), Value(y)});
}

Point Point::decode(const Value& value, const std::string& path) {
    auto pair = value.asArray();
    if (!pair)
        platform::throwTypeMismatch(path, "Array", value);
    if (pair->size() != 2)
        throw CodingError(CodingError::Reason::dataCorrupted, path,
                          "Expected a point of two numbers but found " + std::to_string(pair->size()) +
                              " elements.");
    return {platform::decodeValue<double>((*pair)[0], platform::indexPath(path, 0)),
            platform::decodeValue<double>((*pair)[1], platform::indexPath(path, 1))};
}
