// The Qt event loop as the main executor: tasks run on the loop's thread, in
// the order posted, never inside post(); tasks posted from other threads
// arrive; tasks left when the executor goes are destroyed unrun.

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/desktop/QtMainExecutor.h"
#include "app/desktop/QtTestApplication.h"

namespace tessarin {
namespace {

QGuiApplication& application() { return qtTestApplication(); }

// Runs the loop until `done` or a generous bound (a hang fails, never a race).
void runUntil(const std::function<bool()>& done) {
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(10000);
    while (!done() && bound.isActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

TEST(QtMainExecutor, RunsTasksInOrderOnTheLoopThreadAndNeverInsidePost) {
    application();
    QtMainExecutor executor;
    std::vector<int> ran;
    const auto loopThread = std::this_thread::get_id();
    bool wrongThread = false;
    for (int i = 0; i < 5; ++i) {
        executor.post([&, i] {
            if (std::this_thread::get_id() != loopThread) wrongThread = true;
            ran.push_back(i);
            // A task posting another runs it after the ones already queued.
            if (i == 0) executor.post([&] { ran.push_back(99); });
        });
    }
    EXPECT_TRUE(ran.empty());
    runUntil([&] { return ran.size() == 6; });
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4, 99}));
    EXPECT_FALSE(wrongThread);
}

TEST(QtMainExecutor, TasksFromOtherThreadsRunOnTheLoop) {
    application();
    QtMainExecutor executor;
    std::atomic<int> ran{0};
    const auto loopThread = std::this_thread::get_id();
    std::atomic<bool> wrongThread{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                executor.post([&] {
                    if (std::this_thread::get_id() != loopThread) wrongThread = true;
                    ++ran;
                });
            }
        });
    }
    for (auto& poster : posters) poster.join();
    runUntil([&] { return ran == 400; });
    EXPECT_EQ(ran, 400);
    EXPECT_FALSE(wrongThread);
}

TEST(QtMainExecutor, TasksLeftWhenTheExecutorGoesAreDestroyedUnrun) {
    application();
    auto carried = std::make_shared<int>(7);
    std::weak_ptr<int> watch = carried;
    bool ran = false;
    {
        QtMainExecutor executor;
        executor.post([&ran, carried = std::move(carried)] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired());
}

TEST(QtMainExecutor, DrainRunsWhatIsPostedWithoutTheLoop) {
    application();
    QtMainExecutor executor;
    int ran = 0;
    executor.post([&] {
        ++ran;
        executor.post([&] { ++ran; });
    });
    executor.drain();
    EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace tessarin
