// The overlay's keyboard grab against a real server, while the test's own
// connection plays the other program that holds the keyboard.

#include <sys/socket.h>

#include <string>

#include "InteractionTestSupport.h"
#include "TestDisplay.h"
#include "platform/x11/X11KeyboardGrabber.h"

namespace tessarin::x11::testing {
namespace {

using namespace std::chrono_literals;

class KeyboardGrab : public ::testing::Test {
protected:
    void SetUp() override {
        TESSARIN_REQUIRE_X_SERVER();
        ASSERT_TRUE(x.ok());
        ASSERT_EQ(xcb_connection_has_error(ours), 0);
        overlay = x.createWindow({.rect = {10, 10, 200, 100}, .colour = 0x336699});
    }
    void TearDown() override {
        if (x.ok()) {
            xcb_ungrab_keyboard(x.connection(), XCB_CURRENT_TIME);
            x.sync();
        }
        xcb_disconnect(ours);
    }
    // The grab status another client gets when it asks for the keyboard now.
    uint8_t otherClientGrabs() {
        const auto reply = waitReply(xcb_grab_keyboard_reply, x.connection(),
                                     xcb_grab_keyboard(x.connection(), 0, x.root(), XCB_CURRENT_TIME,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        return reply ? reply->status : uint8_t{255};
    }
    // Release sends the ungrab without waiting; the server has it after this.
    void ourRequestsArrived() { syncWithin(ours); }
    void otherClientLetsGo() {
        xcb_ungrab_keyboard(x.connection(), XCB_CURRENT_TIME);
        x.sync();
    }

    // Polls while the grabber has had no answer yet.
    static KeyboardGrabStatus untilFirstAnswer(X11KeyboardGrabber& grabber, KeyboardGrabStatus status) {
        while (status.state == KeyboardGrabState::trying && grabber.answeredAttempts() == 0) {
            std::this_thread::sleep_for(status.retryIn);
            status = grabber.poll();
        }
        return status;
    }

    TestDisplay x;
    // The toolkit's connection, which the grabber borrows.
    xcb_connection_t* ours = xcb_connect(nullptr, nullptr);
    xcb_window_t overlay = 0;
};

TEST_F(KeyboardGrab, AFreeKeyboardIsGrabbedAndReleasedOrFreedWithTheGrabber) {
    for (const bool destroyOnly : {false, true}) {
        SCOPED_TRACE(destroyOnly ? "destroyed" : "released");
        {
            X11KeyboardGrabber grabber(ours);
            const auto status = pollUntilSettled(grabber, grabber.start(overlay));
            ASSERT_EQ(status.state, KeyboardGrabState::grabbed) << status.detail;
            EXPECT_EQ(otherClientGrabs(), XCB_GRAB_STATUS_ALREADY_GRABBED);
            if (!destroyOnly) grabber.release();
        }
        ourRequestsArrived();
        EXPECT_EQ(otherClientGrabs(), XCB_GRAB_STATUS_SUCCESS);
        otherClientLetsGo();
    }
}

TEST_F(KeyboardGrab, AGrabHeldElsewhereIsTriedAgainUntilItIsFree) {
    ASSERT_EQ(otherClientGrabs(), XCB_GRAB_STATUS_SUCCESS);
    // A budget no loaded machine runs out of: the other client lets go
    // after the first refusal.
    X11KeyboardGrabber grabber(ours, {.budget = 30s, .interval = 10ms});
    auto status = untilFirstAnswer(grabber, grabber.start(overlay));
    ASSERT_EQ(status.state, KeyboardGrabState::trying) << status.detail;
    otherClientLetsGo();

    status = pollUntilSettled(grabber, status);
    EXPECT_EQ(status.state, KeyboardGrabState::grabbed) << status.detail;
    EXPECT_GE(grabber.answeredAttempts(), 2);
}

TEST_F(KeyboardGrab, AGrabHeldForLongerThanTheBudgetFails) {
    ASSERT_EQ(otherClientGrabs(), XCB_GRAB_STATUS_SUCCESS);
    X11KeyboardGrabber grabber(ours, {.budget = 60ms, .interval = 10ms});
    const auto status = pollUntilSettled(grabber, grabber.start(overlay));
    EXPECT_EQ(status.state, KeyboardGrabState::failed);
    EXPECT_NE(status.detail.find("another program holds the keyboard"), std::string::npos) << status.detail;
    // Nothing of ours is left behind: once the other client lets go, the
    // keyboard is free.
    otherClientLetsGo();
    ourRequestsArrived();
    EXPECT_EQ(otherClientGrabs(), XCB_GRAB_STATUS_SUCCESS);
}


TEST_F(KeyboardGrab, AWindowMappedWhileTryingIsGrabbed) {
    const auto late = x.createWindow({.rect = {0, 0, 50, 50}, .mapped = false});
    X11KeyboardGrabber grabber(ours, {.budget = 30s, .interval = 10ms});
    const auto status = untilFirstAnswer(grabber, grabber.start(late));
    xcb_map_window(x.connection(), late);
    x.sync();
    EXPECT_EQ(pollUntilSettled(grabber, status).state, KeyboardGrabState::grabbed);
}

TEST_F(KeyboardGrab, AWindowNotShownInTimeOrThatDoesNotExistFails) {
    const struct { xcb_window_t window; std::chrono::milliseconds budget; std::string reason; bool atOnce; } rows[] = {
        {x.createWindow({.rect = {0, 0, 50, 50}, .mapped = false}), 60ms, "the window is not on screen", false},
        {0x1fffffe, 30s, "cannot take the keyboard", true},  // whatever the budget
    };
    for (const auto& [window, budget, reason, atOnce] : rows) {
        X11KeyboardGrabber grabber(ours, {.budget = budget, .interval = 10ms});
        const auto status = pollUntilSettled(grabber, grabber.start(window));
        EXPECT_EQ(status.state, KeyboardGrabState::failed);
        EXPECT_NE(status.detail.find(reason), std::string::npos) << status.detail;
        EXPECT_EQ(grabber.answeredAttempts() == 0, atOnce) << reason;
    }
}

TEST_F(KeyboardGrab, ALostConnectionFailsTheGrabWithoutACrash) {
    X11KeyboardGrabber grabber(ours, {.budget = 30s, .interval = 10ms});
    ASSERT_EQ(otherClientGrabs(), XCB_GRAB_STATUS_SUCCESS);
    auto status = grabber.start(overlay);
    ::shutdown(xcb_get_file_descriptor(ours), SHUT_RDWR);
    status = pollUntilSettled(grabber, status);
    EXPECT_EQ(status.state, KeyboardGrabState::failed);
    EXPECT_NE(status.detail.find("broken"), std::string::npos) << status.detail;
    grabber.release();  // on a broken connection: nothing to send, no crash
}

}  // namespace
}  // namespace tessarin::x11::testing
