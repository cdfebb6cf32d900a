#pragma once
// The two kinds of OSC packet, and the test that tells them apart by their first bytes.

#include "OSCCore/Data.h"

#include <optional>

enum class OSCObjectType { message, bundle };

// bundle when the bytes begin with "#bundle" and a NUL, message when they begin with "/",
// otherwise nothing.
std::optional<OSCObjectType> oscObjectType(ByteView rawData);
