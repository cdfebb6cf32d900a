#include "sockets/StreamSocketTLSSettings.h"

std::optional<bool> StreamSocketTLSValue::boolValue() const {
    if (const bool* value = std::get_if<bool>(&value_))
        return *value;
    if (const std::int64_t* value = std::get_if<std::int64_t>(&value_))
        return *value != 0;
    return std::nullopt;
}

std::optional<std::int64_t> StreamSocketTLSValue::numberValue() const {
    if (const std::int64_t* value = std::get_if<std::int64_t>(&value_))
        return *value;
    if (const bool* value = std::get_if<bool>(&value_))
        return *value ? 1 : 0;
    return std::nullopt;
}
