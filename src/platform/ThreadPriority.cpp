#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tessarin {

namespace {
// Enough for the interface thread to win a contended core about three
// times out of four, not so much that background work starves.
constexpr int kBackgroundNice = 5;
}  // namespace

void lowerCurrentThreadPriority() {
    sched_param ordinary{};
    ordinary.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &ordinary);
    // On Linux the nice value belongs to the thread named by its id.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, thread);
    if (current < kBackgroundNice) setpriority(PRIO_PROCESS, thread, kBackgroundNice);
}

}  // namespace tessarin
