#include "core/shell/InstanceGuard.h"

#include <gtest/gtest.h>

namespace tessarin {
namespace {

using Claim = SessionBus::Claim;
using Kind = LaunchDecision::Kind;

// The bus as one test scene sets it up; it records what the guard asked.
struct FakeBus final : SessionBus {
    bool isConnected = true;
    std::optional<std::string> owner;
    std::vector<Claim> claims = {Claim::owned};  // answers in turn; the last one repeats
    std::vector<bool> forwards = {true};         // likewise
    std::vector<std::string> calls;

    bool connected() const override { return isConnected; }
    std::optional<std::string> nameOwner() override { return owner; }
    Claim claimName(bool replaceExisting) override {
        calls.push_back(replaceExisting ? "claim replace" : "claim");
        const Claim answer = next(claims);
        if (answer == Claim::owned) owner = ":1.99";
        return answer;
    }
    bool forwardLinks(const std::vector<std::string>& links) override {
        calls.push_back("forward " + std::to_string(links.size()));
        return next(forwards);
    }
    bool waitUntilGone(const std::string& uniqueName, std::chrono::milliseconds limit) override {
        calls.push_back("wait " + uniqueName + " " + std::to_string(limit.count()));
        return true;
    }

private:
    template <class T>
    T next(std::vector<T>& answers) {
        const T answer = answers.front();
        if (answers.size() > 1) answers.erase(answers.begin());
        return answer;
    }
};

TEST(InstanceGuard, ClassifiesLinksWhateverTheirSchemeCase) {
    const auto request =
        classifyLaunch({"tessarin://capture-area", "--verbose", "TESSARIN:open-history", "tessarin", "xtessarin://a"});
    EXPECT_EQ(request.links, (std::vector<std::string>{"tessarin://capture-area", "TESSARIN:open-history"}));
    EXPECT_EQ(request.ignoredArguments, (std::vector<std::string>{"--verbose", "tessarin", "xtessarin://a"}));
    EXPECT_TRUE(request.isLinkLaunch());
    EXPECT_FALSE(classifyLaunch({}).isLinkLaunch());
}

TEST(InstanceGuard, DecidesEachLaunch) {
    const std::vector<std::string> none, link = {"tessarin://capture-area"};
    const struct {
        const char* name;
        std::vector<std::string> links;
        std::function<void(FakeBus&)> scene;
        Kind kind;
        int status;
        std::vector<std::string> linksToHandle;
        std::vector<std::string> calls;
    } rows[] = {
        {"plain replaces the running copy and waits for it to leave", none,
         [](FakeBus& bus) { bus.owner = ":1.7"; }, Kind::run, 0, {}, {"claim replace", "wait :1.7 250"}},
        {"plain loses to a copy that cannot be replaced", none,
         [](FakeBus& bus) { bus.owner = ":1.8"; bus.claims = {Claim::taken}; }, Kind::exit, 1, {}, {"claim replace"}},
        {"link: the running copy does not answer", link,
         [](FakeBus& bus) { bus.owner = ":1.7"; bus.forwards = {false}; bus.claims = {Claim::owned}; }, Kind::run, 0,
         link, {"forward 1", "claim"}},
        {"no session bus", link, [](FakeBus& bus) { bus.isConnected = false; bus.owner = ":1.7"; }, Kind::run, 0, link,
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeBus bus;
        row.scene(bus);
        LaunchRequest request;
        request.links = row.links;
        const LaunchDecision decision = decideLaunch(request, bus, std::chrono::milliseconds(250));
        EXPECT_EQ(decision.kind, row.kind);
        EXPECT_EQ(decision.exitStatus, row.status);
        EXPECT_EQ(decision.linksToHandle, row.linksToHandle);
        EXPECT_EQ(bus.calls, row.calls);
        // Only a failure explains itself, in one line.
        EXPECT_EQ(decision.message.empty(), row.status == 0);
        EXPECT_EQ(decision.message.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace tessarin
