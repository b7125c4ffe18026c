#include "platform/portal/PortalShortcutGrabber.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "core/common/Log.h"
#include "core/common/PosixFiles.h"
#include "platform/portal/PortalRequest.h"

namespace tessarin {

namespace {

using namespace std::chrono_literals;
using portal::GVariantPtr;
using portal::PortalConnection;

constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
// A plain call gets this long; a request (which may wait for the person in
// a dialog) the longer time.
constexpr std::chrono::milliseconds kCallTimeout = 5s;
constexpr std::chrono::milliseconds kAnswerTimeout = 60s;

// One shortcut as a session asks the portal for it.
struct SessionShortcut {
    std::string id;
    std::string description;
    std::string trigger;  // empty: no preferred trigger
};

// What the portal thread reports to the caller's thread.
struct ShortcutEvent {
    enum class Kind { activated, bound, failed };
    Kind kind = Kind::failed;
    std::string text;        // the shortcut's id, or the reason
    uint64_t generation = 0;  // bound, failed: the request it answers
};

// The portal's a(sa{sv}) shortcut list.
GVariant* shortcutList(const std::vector<SessionShortcut>& shortcuts) {
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
    for (const auto& shortcut : shortcuts) {
        GVariantBuilder properties;
        g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&properties, "{sv}", "description", g_variant_new_string(shortcut.description.c_str()));
        if (!shortcut.trigger.empty()) {
            g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                                  g_variant_new_string(shortcut.trigger.c_str()));
        }
        g_variant_builder_add(&list, "(sa{sv})", shortcut.id.c_str(), &properties);
    }
    return g_variant_builder_end(&list);
}

// The session's object path in CreateSession's results: an object path, or
// a string from back ends that follow an early draft.
std::string sessionHandleOf(GVariant* results) {
    const GVariantPtr handle(g_variant_lookup_value(results, "session_handle", nullptr));
    if (!handle) return {};
    if (!g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_OBJECT_PATH) &&
        !g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_STRING)) {
        return {};
    }
    const char* path = g_variant_get_string(handle.get(), nullptr);
    return g_variant_is_object_path(path) ? path : "";
}

// The unique name that owns the portal's well-known name: only its signals
// count (anyone on the bus can send one).
std::string portalOwner(PortalConnection& connection) {
    GError* raw = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(connection.bus(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "GetNameOwner",
                                                  g_variant_new("(s)", portal::kPortalService), G_VARIANT_TYPE("(s)"),
                                                  G_DBUS_CALL_FLAGS_NONE, static_cast<int>(kCallTimeout.count()),
                                                  nullptr, &raw);
    if (reply == nullptr) {
        if (raw != nullptr) g_error_free(raw);
        return {};
    }
    const GVariantPtr owned(reply);
    const char* owner = nullptr;
    g_variant_get(reply, "(&s)", &owner);
    return owner;
}

}  // namespace

// The portal thread: its own main context, on which the Activated signals
// arrive and the session requests run one after another.
class PortalShortcutGrabber::Worker {
public:
    Worker(std::shared_ptr<PortalConnection> connection, std::string owner)
        : connection_(std::move(connection)),
          owner_(std::move(owner)),
          wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          wakeError_(wake_ < 0 ? errno : 0),
          context_(g_main_context_new()),
          loop_(g_main_loop_new(context_, FALSE)),
          cancel_(g_cancellable_new()) {
        thread_ = std::thread([this] { run(); });
    }

    ~Worker() {
        stopping_ = true;
        g_cancellable_cancel(cancel_);
        onWorker([](gpointer data) {
            g_main_loop_quit(static_cast<Worker*>(data)->loop_);
            return G_SOURCE_REMOVE;
        });
        if (thread_.joinable()) thread_.join();
        g_object_unref(cancel_);
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
        if (wake_ >= 0) ::close(wake_);
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool ready() const { return wake_ >= 0; }
    int wakeError() const { return wakeError_; }
    int descriptor() const { return wake_; }

    // Makes the caller's loop call processPendingEvents on its next turn.
    void nudge() const {
        const uint64_t one = 1;
        while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    // Asks for a session with `shortcuts`, replacing one asked for
    // earlier; the request's generation, which its answer carries.
    uint64_t request(std::vector<SessionShortcut> shortcuts) {
        uint64_t generation = 0;
        {
            std::lock_guard guard(lock_);
            requested_ = std::move(shortcuts);
            generation = ++generation_;
        }
        onWorker([](gpointer data) {
            static_cast<Worker*>(data)->serveLatest();
            return G_SOURCE_REMOVE;
        });
        return generation;
    }

    std::deque<ShortcutEvent> takeEvents() {
        uint64_t count = 0;
        while (::read(wake_, &count, sizeof count) < 0 && errno == EINTR) {
        }
        std::lock_guard guard(lock_);
        return std::exchange(events_, {});
    }

private:
    void onWorker(GSourceFunc function) {
        GSource* source = g_idle_source_new();
        g_source_set_callback(source, function, this, nullptr);
        g_source_attach(source, context_);
        g_source_unref(source);
    }

    void run() {
        g_main_context_push_thread_default(context_);
        // Subscribed here, so the signals are dispatched on this thread.
        const guint subscription = g_dbus_connection_signal_subscribe(
            connection_->bus(), portal::kPortalService, kShortcutsInterface, "Activated", portal::kPortalObject,
            nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &Worker::onActivated, this, nullptr);
        // A portal that restarts has forgotten our session: a new owner gets a new one.
        const guint watch = g_bus_watch_name_on_connection(connection_->bus(), portal::kPortalService,
                                                           G_BUS_NAME_WATCHER_FLAGS_NONE, &Worker::onPortalAppeared,
                                                           nullptr, this, nullptr);
        g_main_loop_run(loop_);
        g_bus_unwatch_name(watch);
        g_dbus_connection_signal_unsubscribe(connection_->bus(), subscription);
        closeSession();
        while (g_main_context_iteration(context_, FALSE)) {
        }
        g_main_context_pop_thread_default(context_);
    }

    void post(ShortcutEvent event) {
        {
            std::lock_guard guard(lock_);
            events_.push_back(std::move(event));
        }
        nudge();
    }

    bool newerRequestWaits() {
        std::lock_guard guard(lock_);
        return served_ != generation_;
    }

    // Creates the session for the latest request and binds its shortcuts;
    // again while newer requests came in meanwhile.
    void serveLatest() {
        for (;;) {
            std::vector<SessionShortcut> shortcuts;
            uint64_t serving = 0;
            {
                std::lock_guard guard(lock_);
                if (stopping_ || served_ == generation_) return;
                shortcuts = requested_;
                serving = served_ = generation_;
            }
            const auto failed = [this, serving](std::string reason) {
                post({ShortcutEvent::Kind::failed, std::move(reason), serving});
            };
            closeSession();
            size_t triggers = 0;
            for (const auto& shortcut : shortcuts) triggers += !shortcut.trigger.empty();

            GVariantBuilder options;
            g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
            const std::string token = "tessarin" + std::to_string(++sessionsCreated_);
            g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(token.c_str()));
            // Back ends that follow an early draft of the interface register
            // only the shortcuts named here; BindShortcuts below covers the others.
            g_variant_builder_add(&options, "{sv}", "shortcuts", shortcutList(shortcuts));
            auto created = portal::callRequest(*connection_, kShortcutsInterface, "CreateSession",
                                               g_variant_new("(a{sv})", &options), kAnswerTimeout, cancel_);
            if (stopping_) return;
            if (!created) {
                failed("the shortcuts portal gave no session: " + created.error().message);
                continue;
            }
            sessionPath_ = sessionHandleOf(created->get());
            if (sessionPath_.empty()) {
                failed("the shortcuts portal gave no session: its answer names none");
                continue;
            }
            logLine(LogLevel::info, LogCategory::app,
                    "shortcuts.session handle=" + sessionPath_ + " triggers=" + std::to_string(triggers));
            if (newerRequestWaits()) continue;

            GVariantBuilder noOptions;
            g_variant_builder_init(&noOptions, G_VARIANT_TYPE_VARDICT);
            auto bound = portal::callRequest(
                *connection_, kShortcutsInterface, "BindShortcuts",
                g_variant_new("(o@a(sa{sv})sa{sv})", sessionPath_.c_str(), shortcutList(shortcuts), "", &noOptions),
                kAnswerTimeout, cancel_);
            if (stopping_) return;
            if (!bound) {
                failed("the desktop did not bind the shortcuts: " + bound.error().message);
                continue;
            }
            logLine(LogLevel::info, LogCategory::app, "shortcuts.bound session=" + sessionPath_);
            post({ShortcutEvent::Kind::bound, {}, serving});
        }
    }

    void closeSession() {
        if (sessionPath_.empty()) return;
        // Best effort: a portal that is gone has closed it already.
        (void)portal::callObjectMethod(*connection_, sessionPath_, "org.freedesktop.portal.Session", "Close", nullptr,
                                       2s);
        sessionPath_.clear();
    }

    static void onPortalAppeared(GDBusConnection*, const char*, const char* owner, gpointer data) {
        auto* self = static_cast<Worker*>(data);
        if (owner == nullptr || self->owner_ == owner) return;
        logLine(LogLevel::info, LogCategory::app, std::string("shortcuts.portal restarted owner=") + owner);
        self->owner_ = owner;
        self->sessionPath_.clear();  // it went with the old portal
        {
            std::lock_guard guard(self->lock_);
            if (self->generation_ == 0) return;  // nothing asked for yet
            self->served_ = 0;                   // the newest request, again
        }
        self->serveLatest();
    }

    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    static void onActivated(GDBusConnection*, const char* sender, const char*, const char*, const char*,
                            GVariant* parameters, gpointer data) {
        auto* self = static_cast<Worker*>(data);
        if (sender == nullptr || self->owner_ != sender) return;
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;
        const char* session = nullptr;
        const char* id = nullptr;
        g_variant_get(parameters, "(&o&st@a{sv})", &session, &id, nullptr, nullptr);
        if (self->sessionPath_.empty() || self->sessionPath_ != session) return;
        logLine(LogLevel::info, LogCategory::app, std::string("shortcuts.activated id=") + id);
        self->post({ShortcutEvent::Kind::activated, id});
    }

    const std::shared_ptr<PortalConnection> connection_;
    std::string owner_;  // the portal's unique name; the portal thread's own
    const int wake_;
    const int wakeError_;
    GMainContext* const context_;
    GMainLoop* const loop_;
    GCancellable* const cancel_;
    std::atomic<bool> stopping_{false};

    std::mutex lock_;
    std::vector<SessionShortcut> requested_;
    uint64_t generation_ = 0;
    uint64_t served_ = 0;
    std::deque<ShortcutEvent> events_;

    // The portal thread's own.
    std::string sessionPath_;
    int sessionsCreated_ = 0;

    std::thread thread_;
};

std::string portalTriggerText(const KeyCombination& combination) {
    static constexpr std::pair<uint8_t, std::string_view> names[] = {
        {KeyModifier::control, "CTRL"}, {KeyModifier::alt, "ALT"}, {KeyModifier::shift, "SHIFT"},
        {KeyModifier::super, "LOGO"}};
    std::string text;
    for (const auto& [bit, name] : names) {
        if ((combination.modifiers & bit) == 0) continue;
        text += name;
        text += '+';
    }
    return text + combination.key;
}

std::string missingShortcutPortalReason() {
    return "this desktop has no global shortcuts portal (org.freedesktop.portal.GlobalShortcuts); bind each "
           "action's link to a key in the desktop's own keyboard settings instead";
}

std::unique_ptr<PortalShortcutGrabber> PortalShortcutGrabber::open(std::vector<PortalShortcutOffer> offered,
                                                                   std::string* whyNot) {
    auto fail = [whyNot](std::string reason) {
        if (whyNot) *whyNot = std::move(reason);
        return std::unique_ptr<PortalShortcutGrabber>();
    };
    auto connection = PortalConnection::open();
    if (!connection) return fail("no session bus, so no desktop portal: " + missingShortcutPortalReason());
    const auto version = portal::readProperty(**connection, kShortcutsInterface, "version", kCallTimeout);
    if (!version) {
        logLine(LogLevel::info, LogCategory::app, "shortcuts.portal missing error=\"" + version.error().message + "\"");
        return fail(missingShortcutPortalReason());
    }
    const std::string owner = portalOwner(**connection);
    if (owner.empty()) return fail(missingShortcutPortalReason());
    auto worker = std::make_unique<Worker>(std::move(connection.value()), owner);
    if (!worker->ready()) return fail("cannot wait for the shortcuts portal: " + errnoText(worker->wakeError()));
    const uint32_t number =
        g_variant_is_of_type(version->get(), G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(version->get()) : 0;
    logLine(LogLevel::info, LogCategory::app, "shortcuts.portal version=" + std::to_string(number));
    std::unique_ptr<PortalShortcutGrabber> grabber(new PortalShortcutGrabber(std::move(offered), std::move(worker)));
    // Every shortcut is offered, even before (or without) any grab.
    grabber->changed();
    if (whyNot) whyNot->clear();
    return grabber;
}

PortalShortcutGrabber::PortalShortcutGrabber(std::vector<PortalShortcutOffer> offered, std::unique_ptr<Worker> worker)
    : offered_(std::move(offered)), worker_(std::move(worker)) {}

PortalShortcutGrabber::~PortalShortcutGrabber() = default;

void PortalShortcutGrabber::setKeyListener(KeyListener listener) {
    if (keyListener_ && !listener) {
        retired_ = true;
        changesPending_ = false;
    }
    keyListener_ = std::move(listener);
}

GrabResult PortalShortcutGrabber::grab(int id, const KeyCombination& combination) {
    wanted_[id] = combination;
    changed();
    return {GrabOutcome::grabbed, {}};
}

void PortalShortcutGrabber::release(int id) {
    if (wanted_.erase(id) == 0) return;
    changed();
}

int PortalShortcutGrabber::eventDescriptor() const { return worker_->descriptor(); }

void PortalShortcutGrabber::changed() {
    if (retired_) return;
    // Every change of this turn of the loop goes into one session.
    if (!changesPending_) worker_->nudge();
    changesPending_ = true;
}

void PortalShortcutGrabber::processPendingEvents() {
    const std::deque<ShortcutEvent> events = worker_->takeEvents();
    if (changesPending_) {
        changesPending_ = false;
        std::vector<SessionShortcut> shortcuts;
        for (size_t i = 0; i < offered_.size(); ++i) {
            const auto found = wanted_.find(static_cast<int>(i));
            shortcuts.push_back({offered_[i].id, offered_[i].description,
                                 found != wanted_.end() ? portalTriggerText(found->second) : std::string()});
        }
        requested_ = worker_->request(std::move(shortcuts));
    }
    for (const auto& event : events) {
        // The answer to a request a newer one replaced says nothing of the
        // shortcuts now.
        if (event.kind != ShortcutEvent::Kind::activated && event.generation != requested_) continue;
        if (event.kind == ShortcutEvent::Kind::failed) {
            failAll(event.text);
            continue;
        }
        if (event.kind == ShortcutEvent::Kind::bound) {
            // Shortcuts a failed session had marked come back.
            if (const RegrabListener listener = regrabListener_) {
                const auto ids = wanted_;
                for (const auto& [id, combination] : ids) listener(id, {GrabOutcome::grabbed, {}});
            }
            continue;
        }
        int id = -1;
        for (size_t i = 0; i < offered_.size(); ++i) {
            if (offered_[i].id == event.text) id = static_cast<int>(i);
        }
        if (id < 0) continue;
        if (!wanted_.contains(id)) {
            // Copies: a listener may change what we hold.
            if (const auto listener = unassignedListener_) listener(id);
            continue;
        }
        if (const KeyListener listener = keyListener_) {
            listener(id, KeyTransition::pressed);
            listener(id, KeyTransition::released);
        }
    }
}

void PortalShortcutGrabber::failAll(const std::string& reason) {
    logLine(LogLevel::error, LogCategory::app, "shortcuts.portal_failed reason=\"" + reason + "\"");
    const RegrabListener listener = regrabListener_;
    if (!listener) return;
    const auto ids = wanted_;
    for (const auto& [id, combination] : ids) listener(id, {GrabOutcome::failed, reason});
}

}  // namespace tessarin
