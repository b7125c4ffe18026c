#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "core/common/EventLoop.h"
#include "core/common/ThreadPool.h"

namespace tessarin {
namespace {

TEST(EventLoop, RunsTasksInOrderOnTheCallingThread) {
    EventLoop loop;
    std::vector<int> order;
    const auto self = std::this_thread::get_id();
    for (int i = 0; i < 3; ++i) {
        loop.post([&order, i, self] { order.push_back(std::this_thread::get_id() == self ? i : -1); });
    }
    EXPECT_EQ(loop.drain(), 3u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(loop.drain(), 0u);
}

// The operation hops to a pool thread, back to the main thread, and needs a
// second main-thread task before it finishes with a move-only value.
TEST(RunAsyncOnMain, ServicesMainTasksWhileWaitingForABackgroundResult) {
    EventLoop loop;
    ThreadPool pool(2);
    const auto mainThread = std::this_thread::get_id();
    const auto result = runAsyncOnMain<std::unique_ptr<int>>(loop, [&](Completion<std::unique_ptr<int>> done) {
        runInBackground<std::optional<int>>(pool, loop, [] { return std::optional(6 * 7); },
                                            [&, done = std::move(done)](std::optional<int> value) mutable {
            EXPECT_EQ(std::this_thread::get_id(), mainThread);
            loop.post([value, done = std::move(done)]() mutable { done(std::make_unique<int>(value.value_or(0))); });
        });
    });
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, 42);
}

TEST(ThreadPool, StartsThreadsOnlyWhenNoIdleOneCanTakeTheTask) {
    EXPECT_EQ(ThreadPool(2).startedThreads(), 0u);
    {
        ThreadPool sequential(2);
        sequential.post([] {});
        while (sequential.idleThreads() == 0) std::this_thread::yield();
        sequential.post([] {});  // the idle thread takes it
        EXPECT_EQ(sequential.startedThreads(), 1u);
    }
    ThreadPool pool(2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> finished = 0;
    // The second task finds the first thread busy; the third finds both busy.
    for (int i = 0; i < 3; ++i) pool.post([&] { released.wait(), ++finished; });
    EXPECT_EQ(pool.startedThreads(), 2u);
    release.set_value();
    while (finished < 3) std::this_thread::yield();
}

TEST(ThreadPool, FinishesEveryQueuedTaskBeforeJoining) {
    std::atomic<int> count = 0;
    {
        ThreadPool pool(2);
        for (int i = 0; i < 1000; ++i) pool.post([&count] { ++count; });
    }
    EXPECT_EQ(count.load(), 1000);
}

}  // namespace
}  // namespace tessarin
