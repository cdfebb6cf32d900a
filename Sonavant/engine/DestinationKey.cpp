#include "Sonavant/engine/DestinationKey.h"

std::string DestinationKey::text() const {
    return source.string() + "-" + std::to_string(speaker);
}
