#include "platform/portal/PortalRequest.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "platform/portal/FakeDesktopPortal.h"
#include "support/TempDir.h"

namespace tessarin::portal {
namespace {

using namespace std::chrono_literals;
using Behaviour = testing::FakeDesktopPortal::Behaviour;
using Kind = PortalError::Kind;

// Each case gets a private dbus-daemon (GTestDBus points
// DBUS_SESSION_BUS_ADDRESS at it); nothing reaches the user's session bus.
class PortalRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_up(bus_);
        auto opened = PortalConnection::open();
        ASSERT_TRUE(opened) << opened.error().message;
        connection_ = std::move(opened.value());
    }
    void TearDown() override {
        connection_.reset();
        g_test_dbus_down(bus_);
        g_object_unref(bus_);
    }

    Expected<GVariantPtr, PortalError> screenshot(std::chrono::milliseconds timeout = 5s, GVariant* options = nullptr) {
        if (!options) options = g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0);
        return callRequest(*connection_, "org.freedesktop.portal.Screenshot", "Screenshot",
                           g_variant_new("(s@a{sv})", "", options), timeout);
    }

    GTestDBus* bus_ = nullptr;
    std::shared_ptr<PortalConnection> connection_;
};

std::string lookupString(GVariant* dictionary, const char* key) {
    const char* value = nullptr;
    return g_variant_lookup(dictionary, key, "&s", &value) ? value : "<missing>";
}

TEST_F(PortalRequestTest, AnsweredRequestReturnsTheResultsAndKeepsTheCallersOptions) {
    const testing::FakeDesktopPortal portal(Behaviour::answer, "file:///tmp/answer.png");
    const auto results = screenshot(5s, g_variant_new_parsed("{'echo': <'kept'>, 'handle_token': <'replaced'>}"));
    ASSERT_TRUE(results) << results.error().message;
    EXPECT_EQ(lookupString(results->get(), "uri"), "file:///tmp/answer.png");
    EXPECT_EQ(lookupString(results->get(), "echo"), "kept");
    ASSERT_EQ(portal.requests().size(), 1u);
    EXPECT_EQ(portal.requests()[0].rfind("/org/freedesktop/portal/desktop/request/" + connection_->senderPath() +
                                             "/tessarin_",
                                         0),
              0u)
        << portal.requests()[0];
    EXPECT_TRUE(portal.closed().empty());
    const auto portals = availablePortals(*connection_, 2s);
    ASSERT_TRUE(portals) << portals.error().message;
    EXPECT_EQ(*portals, (std::vector<PortalInterface>{{"org.freedesktop.portal.Screenshot", 2}}));
}

TEST_F(PortalRequestTest, RefusalsAndCancelsBecomeTheirOwnErrors) {
    const struct {
        Behaviour behaviour;
        Kind kind;
        std::string message;
    } cases[] = {
        {Behaviour::refuse, Kind::denied,
         "the desktop portal refused org.freedesktop.portal.Screenshot.Screenshot or could not carry it out"},
        {Behaviour::cancel, Kind::cancelled, "org.freedesktop.portal.Screenshot.Screenshot was cancelled"},
        {Behaviour::notAllowed, Kind::denied,
         "the desktop portal refused org.freedesktop.portal.Screenshot.Screenshot: Screenshots are not allowed"},
    };
    for (const auto& c : cases) {
        const testing::FakeDesktopPortal portal(c.behaviour);
        const auto results = screenshot();
        ASSERT_FALSE(results);
        EXPECT_EQ(results.error(), (PortalError{c.kind, c.message}));
    }
}

TEST_F(PortalRequestTest, UnansweredRequestTimesOutAndIsClosed) {
    const testing::FakeDesktopPortal portal(Behaviour::silent);
    const auto results = screenshot(300ms);
    ASSERT_FALSE(results);
    EXPECT_EQ(results.error().kind, Kind::timedOut);
    EXPECT_EQ(results.error().message,
              "the desktop portal did not answer org.freedesktop.portal.Screenshot.Screenshot within 300 ms; the "
              "request was closed");
    EXPECT_EQ(portal.closed(), portal.requests());
    EXPECT_EQ(portal.closed().size(), 1u);
}

// A request waiting for the person (a chooser) is given up from another
// thread, long before its time-out.
TEST_F(PortalRequestTest, RequestGivenUpIsCancelledAndClosed) {
    const testing::FakeDesktopPortal portal(Behaviour::silent);
    const GObjectPtr<GCancellable> abandon(g_cancellable_new());
    std::thread givingUp([&] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (portal.requests().empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        g_cancellable_cancel(abandon.get());
    });
    const auto results = callRequest(*connection_, "org.freedesktop.portal.Screenshot", "Screenshot",
                                     g_variant_new("(sa{sv})", "", nullptr), std::chrono::minutes(10), abandon.get());
    givingUp.join();

    ASSERT_FALSE(results);
    EXPECT_EQ(results.error(), (PortalError{Kind::cancelled, "org.freedesktop.portal.Screenshot.Screenshot was given "
                                                             "up; the request was closed"}));
    EXPECT_EQ(portal.requests().size(), 1u);
    EXPECT_EQ(portal.closed(), portal.requests());
}

TEST_F(PortalRequestTest, MissingPortalServiceInterfaceOrPropertyIsMissingPortal) {
    {
        const auto results = screenshot();
        ASSERT_FALSE(results);
        EXPECT_EQ(results.error().kind, Kind::missingPortal) << results.error().message;
        EXPECT_TRUE(results.error().message.starts_with(
            "no desktop portal offers org.freedesktop.portal.Screenshot.Screenshot ("))
            << results.error().message;
        const auto portals = availablePortals(*connection_, 2s);
        ASSERT_FALSE(portals);
        EXPECT_EQ(portals.error().kind, Kind::missingPortal);
    }
    const testing::FakeDesktopPortal portal(Behaviour::answer);
    const auto cast = callRequest(*connection_, "org.freedesktop.portal.ScreenCast", "CreateSession",
                                  g_variant_new_parsed("(@a{sv} {},)"), 2s);
    ASSERT_FALSE(cast);
    EXPECT_EQ(cast.error().kind, Kind::missingPortal) << cast.error().message;
    const auto version = readProperty(*connection_, "org.freedesktop.portal.ScreenCast", "version", 2s);
    ASSERT_FALSE(version);
    EXPECT_EQ(version.error().kind, Kind::missingPortal) << version.error().message;
}

TEST_F(PortalRequestTest, MethodsOnOtherObjectsOfThePortal) {
    const testing::FakeDesktopPortal portal(Behaviour::silent);
    ASSERT_FALSE(screenshot(100ms));
    ASSERT_EQ(portal.requests().size(), 1u);
    // The request was closed on the time-out; closing it again reaches it too.
    const auto closed = callObjectMethod(*connection_, portal.requests()[0], kRequestInterface, "Close", nullptr, 2s);
    ASSERT_TRUE(closed) << closed.error().message;
    EXPECT_EQ(portal.closed().size(), 2u);

    const auto nowhere = callObjectMethod(*connection_, "/org/freedesktop/portal/desktop/session/x/y",
                                          "org.freedesktop.portal.Session", "Close", nullptr, 2s);
    ASSERT_FALSE(nowhere);
    EXPECT_EQ(nowhere.error().kind, Kind::missingPortal) << nowhere.error().message;
    const auto invalid = callObjectMethod(*connection_, "not a path", "org.freedesktop.portal.Session", "Close",
                                          g_variant_new("(s)", "floating"), 2s);
    ASSERT_FALSE(invalid);
    EXPECT_EQ(invalid.error(), (PortalError{Kind::failed, "not a D-Bus object path: \"not a path\""}));
}

TEST_F(PortalRequestTest, ParametersWithoutOptionsAreRefusedBeforeAnyCall) {
    const testing::FakeDesktopPortal portal(Behaviour::answer);
    const auto results = callRequest(*connection_, "org.freedesktop.portal.Screenshot", "Screenshot",
                                     g_variant_new("(s)", ""), 2s);
    ASSERT_FALSE(results);
    EXPECT_EQ(results.error(), (PortalError{Kind::failed, "portal request parameters have no options a{sv}"}));
    EXPECT_TRUE(portal.requests().empty());
}

TEST_F(PortalRequestTest, ConcurrentRequestsEachGetTheirOwnAnswer) {
    const testing::FakeDesktopPortal portal(Behaviour::answer);
    const auto call = [this] {
        const auto results = screenshot();
        return results ? lookupString(results->get(), "uri") : results.error().message;
    };
    auto first = std::async(std::launch::async, call);
    auto second = std::async(std::launch::async, call);
    EXPECT_EQ(first.get(), "file:///tmp/fake-portal.png");
    EXPECT_EQ(second.get(), "file:///tmp/fake-portal.png");
    EXPECT_EQ(portal.requests().size(), 2u);
}

TEST(PortalConnectionTest, NoBusIsAClearError) {
    const auto connection = PortalConnection::openAddress("unix:path=/nonexistent/tessarin-test-bus");
    ASSERT_FALSE(connection);
    EXPECT_EQ(connection.error().kind, Kind::noBus);
    EXPECT_TRUE(connection.error().message.starts_with(
        "cannot connect to the session D-Bus at unix:path=/nonexistent/tessarin-test-bus: "))
        << connection.error().message;
}

TEST(PortalConnectionTest, SessionBusAddressComesFromTheVariableOrTheRuntimeFolderSocket) {
    testing::TempDir runtime;
    testing::TempDir empty;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (runtime / "bus").string();
    socketPath.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);

    EXPECT_EQ(sessionBusAddress("unix:path=/run/x", runtime.path().c_str()), "unix:path=/run/x");
    EXPECT_EQ(sessionBusAddress("", runtime.path().c_str()), "unix:path=" + socketPath);
    EXPECT_EQ(sessionBusAddress(nullptr, runtime.path().c_str()), "unix:path=" + socketPath);
    EXPECT_EQ(sessionBusAddress(nullptr, empty.path().c_str()), std::nullopt);
    EXPECT_EQ(sessionBusAddress(nullptr, nullptr), std::nullopt);
    EXPECT_EQ(sessionBusAddress(nullptr, ""), std::nullopt);
    ::close(fd);
}

}  // namespace
}  // namespace tessarin::portal
