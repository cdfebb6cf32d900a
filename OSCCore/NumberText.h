#pragma once
// The codec writes numbers in value texts as every console line does.

#include "platform/NumberText.h"

namespace osccore {

using platform::numberText;

} // namespace osccore
