#include "OSCCore/OSCValueMasking.h"

void validateCount(std::span<const OSCValue> values, std::size_t count) {
    if (values.size() != count)
        throw OSCValueMaskError::invalidCount();
}

void validateCountRange(std::span<const OSCValue> values, std::size_t minimum, std::size_t maximum) {
    if (values.size() < minimum || values.size() > maximum)
        throw OSCValueMaskError::invalidCount();
}

bool matches(std::span<const OSCValue> values, const std::vector<OSCValueToken>& tokens) {
    if (tokens.size() < values.size())
        return false;
    for (std::size_t p = 0; p < tokens.size(); ++p) {
        const OSCValueToken base = baseToken(tokens[p]);
        if (p >= values.size()) {
            if (!isOptional(tokens[p]))
                return false;
            continue;
        }
        const OSCValue& value = values[p];
        if (base != OSCValueToken::number && value.isInterpolated())
            return false;
        if (!accepts(base, value.oscValueToken(), true))
            return false;
    }
    return true;
}
