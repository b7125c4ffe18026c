#pragma once
// A stand-in desktop portal on a private test bus: it owns
// org.freedesktop.portal.Desktop and exports org.freedesktop.portal.Screenshot
// (version 2) whose Screenshot method answers as `Behaviour` says. It serves
// from a thread of its own, so the code under test can block on it.

#include <gio/gio.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessarin::testing {

class FakeDesktopPortal {
public:
    enum class Behaviour {
        answer,      // Response 0 with {"uri": uri, "echo": options["echo"]}, sent before the method's reply
        cancel,      // Response 1
        refuse,      // Response 2
        silent,      // never answers; records Close on the Request
        notAllowed,  // the method itself fails with org.freedesktop.portal.Error.NotAllowed
    };

    // Serves on the bus of DBUS_SESSION_BUS_ADDRESS; aborts the test program
    // when it cannot own the name.
    explicit FakeDesktopPortal(Behaviour behaviour, std::string uri = "file:///tmp/fake-portal.png");
    ~FakeDesktopPortal();
    FakeDesktopPortal(const FakeDesktopPortal&) = delete;
    FakeDesktopPortal& operator=(const FakeDesktopPortal&) = delete;

    // The Request paths the portal created and those closed by their caller.
    std::vector<std::string> requests() const;
    std::vector<std::string> closed() const;

private:
    void serve();
    static void onMethodCall(GDBusConnection*, const char* sender, const char* path, const char* interface,
                             const char* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                             gpointer self);
    static GVariant* onGetProperty(GDBusConnection*, const char*, const char*, const char*, const char* property,
                                   GError**, gpointer);
    void screenshot(const char* sender, GVariant* parameters, GDBusMethodInvocation* invocation);

    Behaviour behaviour_;
    std::string uri_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* bus_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    bool serving_ = false;
    std::vector<std::string> requests_;
    std::vector<std::string> closed_;
    std::thread thread_;
};

}  // namespace tessarin::testing
