#pragma once
// The monotonic media clock: seconds since an arbitrary fixed moment, never going back.

namespace platform {

double mediaTime();

} // namespace platform
