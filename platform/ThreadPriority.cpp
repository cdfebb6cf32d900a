#include "platform/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace platform::detail {

int normalNice() {
    // With PRIO_PROCESS, Linux reads the thread whose id is given: the process id names the
    // main thread.
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return errno == 0 ? nice : 0;
}

void takeNormalPriority(int offset) {
    const int normal = normalNice();
    const auto self = static_cast<id_t>(gettid());
    const int wanted = std::clamp(normal + offset, -20, 19);
    if (setpriority(PRIO_PROCESS, self, wanted) != 0 && wanted != normal)
        (void)setpriority(PRIO_PROCESS, self, normal);
}

} // namespace platform::detail
