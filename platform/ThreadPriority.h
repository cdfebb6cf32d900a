#pragma once
// The scheduling priority of the threads the platform layer starts. Not a public header.
//
// Linux keeps a nice value per thread and gives a new thread its creator's. The platform
// starts its threads lazily, on whatever thread first needs one (a socket reader may run
// raised to nice -10), so each of them sets its own value first thing rather than keep its
// creator's. Going from a raised value back to the normal one lowers the priority, which
// needs no privilege; going up from a lowered one does, and refused, the thread keeps what
// it was given.

namespace platform::detail {

// The nice value of the program's main thread: what the platform's threads run at.
int normalNice();

// The calling thread takes the normal nice value shifted by `offset` (negative: higher
// priority); when that is refused, the normal one.
void takeNormalPriority(int offset = 0);

} // namespace platform::detail
