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
        loop.post([&order, i, self] {
            EXPECT_EQ(std::this_thread::get_id(), self);
            order.push_back(i);
        });
    }
    EXPECT_EQ(loop.drain(), 3u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(loop.drain(), 0u);
}

TEST(RunAsyncOnMain, WaitsForCompletionPostedFromAnotherThread) {
    EventLoop loop;
    ThreadPool pool(2);
    const auto mainThread = std::this_thread::get_id();
    const int result = runAsyncOnMain<int>(loop, [&](Completion<int> done) {
        runInBackground<int>(pool, loop, [] { return 6 * 7; },
                             [&, done = std::move(done)](int value) mutable {
                                 EXPECT_EQ(std::this_thread::get_id(), mainThread);
                                 done(value);
                             });
    });
    EXPECT_EQ(result, 42);
}

TEST(RunAsyncOnMain, CarriesMoveOnlyResults) {
    EventLoop loop;
    auto value = runAsyncOnMain<std::unique_ptr<int>>(
        loop, [](Completion<std::unique_ptr<int>> done) { done(std::make_unique<int>(5)); });
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, 5);
}

TEST(RunAsyncOnMain, ServicesOtherMainTasksWhileWaiting) {
    EventLoop loop;
    bool helperRan = false;
    const int result = runAsyncOnMain<int>(loop, [&](Completion<int> done) {
        // The operation needs a second main-thread hop before it can finish.
        loop.post([&, done = std::move(done)]() mutable {
            helperRan = true;
            done(1);
        });
    });
    EXPECT_TRUE(helperRan);
    EXPECT_EQ(result, 1);
}

TEST(ThreadPool, StartsThreadsOnlyWhenNoIdleOneCanTakeTheTask) {
    ThreadPool idle(2);
    EXPECT_EQ(idle.startedThreads(), 0u);

    ThreadPool pool(2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> finished = 0;
    const auto blocked = [&] { released.wait(); ++finished; };
    pool.post(blocked);
    pool.post(blocked);  // the first thread is busy: a second starts
    pool.post(blocked);  // both busy, but there are only two
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
