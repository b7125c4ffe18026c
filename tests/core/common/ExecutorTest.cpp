#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/common/EventLoop.h"
#include "core/common/Log.h"
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

// The application lowers its workers' priority there: it must come first
// on every worker, once, and never on the posting thread.
TEST(ThreadPool, TheThreadStartHookRunsOnceOnEachWorkerBeforeItsTasks) {
    std::mutex mutex;
    std::vector<std::thread::id> started;
    std::vector<bool> hookedBeforeTask;
    {
        ThreadPool pool(2, [&] {
            std::lock_guard lock(mutex);
            started.push_back(std::this_thread::get_id());
        });
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        for (int i = 0; i < 4; ++i) {
            pool.post([&, released] {
                {
                    std::lock_guard lock(mutex);
                    const auto self = std::this_thread::get_id();
                    hookedBeforeTask.push_back(std::find(started.begin(), started.end(), self) != started.end());
                }
                released.wait();
            });
        }
        release.set_value();
    }
    ASSERT_EQ(started.size(), 2u);
    EXPECT_NE(started[0], started[1]);
    EXPECT_EQ(std::count(started.begin(), started.end(), std::this_thread::get_id()), 0);
    EXPECT_EQ(hookedBeforeTask, std::vector<bool>(4, true));
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

struct TaskFailure {
    std::string reason;
    static TaskFailure interrupted(std::string why) { return {std::move(why)}; }
};
using TaskResult = Expected<int, TaskFailure>;

std::string described(const TaskResult& result) { return result ? std::to_string(*result) : result.error().reason; }

TEST(RunAsyncOnMain, ADroppedCompletionEndsTheWaitAsCancelled) {
    EventLoop loop;
    const auto result = runAsyncOnMain<TaskResult>(loop, [&](Completion<TaskResult> done) {
        loop.post([done = std::move(done)] {});  // a task that forgets to call it
    });
    EXPECT_EQ(described(result), kCancelled);
}

TEST(RunInBackground, WorkThatThrowsCompletesOnMainWithWhatItThrew) {
    EventLoop loop;
    ThreadPool pool(1);
    const auto mainThread = std::this_thread::get_id();
    const auto failed = runAsyncOnMain<TaskResult>(loop, [&](Completion<TaskResult> done) {
        runInBackground<TaskResult>(
            pool, loop, []() -> TaskResult { throw std::runtime_error("disk on fire"); },
            [&, done = std::move(done)](TaskResult result) {
                EXPECT_EQ(std::this_thread::get_id(), mainThread);
                done(std::move(result));
            });
    });
    EXPECT_EQ(described(failed), "background task failed: disk on fire");
    const auto starved = runAsyncOnMain<TaskResult>(loop, [&](Completion<TaskResult> done) {
        runInBackground<TaskResult>(pool, loop, []() -> TaskResult { throw std::bad_alloc(); }, std::move(done));
    });
    EXPECT_EQ(described(starved), "out of memory");
    const auto fine = runAsyncOnMain<TaskResult>(loop, [&](Completion<TaskResult> done) {
        runInBackground<TaskResult>(pool, loop, [] { return TaskResult(5); }, std::move(done));
    });
    EXPECT_EQ(described(fine), "5");
}

struct LogLines final : LogSink {
    void write(LogLevel, std::string_view, std::string_view message) override {
        std::lock_guard lock(mutex);
        lines.emplace_back(message);
    }
    std::mutex mutex;
    std::vector<std::string> lines;
    ScopedLogSink installed{*this};  // last: uninstalled first
};

TEST(ThreadPool, ATaskThatThrowsIsLoggedAndTheNextOneStillRuns) {
    LogLines log;
    std::atomic<bool> nextRan = false;
    {
        ThreadPool pool(1);
        pool.post([] { throw std::logic_error("broken task"); });
        pool.post([&] { nextRan = true; });
    }
    EXPECT_TRUE(nextRan);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"background.task threw: background task failed: broken task"}));
}

TEST(ThreadPool, WorkPostedAfterShutdownIsDroppedAndItsCompletionCancelled) {
    EventLoop loop;
    ThreadPool pool(1);
    pool.post([] {});
    pool.shutdown();
    std::vector<std::string> heard;
    std::atomic<bool> ran = false;
    runInBackground<TaskResult>(pool, loop, [&] { ran = true; return TaskResult(1); },
                                [&](TaskResult result) { heard.push_back(described(result)); });
    EXPECT_FALSE(ran);
    EXPECT_EQ(heard, (std::vector<std::string>{std::string(kCancelled)}));
    EXPECT_EQ(pool.startedThreads(), 0u);
}

}  // namespace
}  // namespace tessarin
