#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/common/Completion.h"
#include "core/common/Lifetime.h"
#include "core/common/ModuleBarrier.h"
#include "core/common/ObserverList.h"

namespace tessarin {
namespace {

struct Failure {
    std::string reason;
    static Failure interrupted(std::string why) { return {std::move(why)}; }
};
using Outcome = Expected<int, Failure>;

TEST(Completion, DeliversOnceAndADroppedOneSaysCancelled) {
    std::vector<std::string> heard;
    const auto record = [&](Outcome outcome) { heard.push_back(outcome ? std::to_string(*outcome) : outcome.error().reason); };
    {
        Completion<Outcome> called(record);
        called(7);
        EXPECT_FALSE(called);
    }  // spent: says nothing more
    { Completion<Outcome> dropped(record); }
    {
        Completion<Outcome> moved(record);
        Completion<Outcome> target = std::move(moved);
        target(8);
    }  // only the target spoke
    {
        Completion<Outcome> first(record);
        first = Completion<Outcome>(record);  // the one replaced is cancelled
        first(9);
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"7", std::string(kCancelled), "8", std::string(kCancelled), "9"}));

    std::vector<std::string> others;
    { Completion<bool> flag([&](bool value) { others.push_back(value ? "true" : "false"); }); }
    { Completion<std::optional<int>> optional([&](std::optional<int> value) { others.push_back(value ? "some" : "none"); }); }
    EXPECT_EQ(others, (std::vector<std::string>{"false", "none"}));
}

TEST(CompletionDeathTest, ASecondCallStopsTheProgram) {
    EXPECT_DEATH(
        {
            Completion<bool> done([](bool) {});
            done(true);
            done(true);
        },
        "a completion was called twice");
}

TEST(LifetimeToken, GuardedWorkRunsOnlyWhileTheOwnerLivesAndDropsItsCompletion) {
    std::vector<std::string> heard;
    LifetimeToken token;
    auto guarded = token.guard([&](int value) { heard.push_back("ran " + std::to_string(value)); });
    guarded(1);
    Completion<Outcome> done([&](Outcome outcome) { heard.push_back(outcome ? "result" : outcome.error().reason); });
    auto continuation = token.guard([&heard, done = std::move(done)]() { heard.push_back("continued"); done(1); });
    token.invalidate();
    guarded(2);
    continuation();
    EXPECT_FALSE(token.alive());
    EXPECT_EQ(heard, (std::vector<std::string>{"ran 1"}));
    { auto gone = std::move(continuation); }
    EXPECT_EQ(heard, (std::vector<std::string>{"ran 1", std::string(kCancelled)}));
}

TEST(ObserverList, RemovalDuringANotificationTakesEffectAtOnce) {
    ObserverList<std::function<void(int)>> list;
    std::vector<std::string> calls;
    Subscription first, second, third, added;
    first = list.add([&](int round) {
        calls.push_back("first " + std::to_string(round));
        second.reset();  // closes a later observer from inside the notification
        if (round == 1) added = list.add([&](int r) { calls.push_back("added " + std::to_string(r)); });
    });
    second = list.add([&](int round) { calls.push_back("second " + std::to_string(round)); });
    third = list.add([&](int round) {
        calls.push_back("third " + std::to_string(round));
        third.reset();  // and itself
    });
    list.notify([](const auto& observer) { observer(1); });
    list.notify([](const auto& observer) { observer(2); });
    EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "third 1", "first 2", "added 2"}));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_FALSE(second.active());
}

TEST(ObserverList, ASubscriptionMayOutliveItsList) {
    Subscription kept;
    {
        ObserverList<int*> list;
        int value = 0;
        kept = list.add(&value);
        EXPECT_TRUE(kept.active());
    }
    EXPECT_FALSE(kept.active());
    kept.reset();  // nothing to remove from
}

TEST(ModuleBarrier, EverythingThrownComesBackAsText) {
    EXPECT_EQ(runBehindModuleBarrier([] {}), std::nullopt);
    EXPECT_EQ(runBehindModuleBarrier([] { throw std::bad_alloc(); }), "out of memory");
    EXPECT_EQ(runBehindModuleBarrier([] { throw 42; }), "an unknown exception");
}

}  // namespace
}  // namespace tessarin
