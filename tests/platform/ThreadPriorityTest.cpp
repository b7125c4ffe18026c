#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace tessarin {
namespace {

int niceOf(pid_t thread) { return getpriority(PRIO_PROCESS, static_cast<id_t>(thread)); }
pid_t currentThread() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// Only the thread that asks is lowered: the interface thread keeps its place.
TEST(ThreadPriority, LowersTheCallingThreadOnlyAndNeverRaisesIt) {
    const pid_t self = currentThread();
    const int before = niceOf(self);
    int lowered = 0;
    int policy = -1;
    std::thread([&] {
        lowerCurrentThreadPriority();
        lowered = niceOf(currentThread());
        policy = sched_getscheduler(0);
    }).join();
    EXPECT_GE(lowered, 5);
    EXPECT_GE(lowered, before);
    EXPECT_EQ(policy, SCHED_OTHER);
    EXPECT_EQ(niceOf(self), before);

    // A thread already lower than that stays where it is.
    int kept = 0;
    std::thread([&] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(currentThread()), 12);
        lowerCurrentThreadPriority();
        kept = niceOf(currentThread());
    }).join();
    EXPECT_EQ(kept, 12);
}

}  // namespace
}  // namespace tessarin
