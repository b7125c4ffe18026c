// Global key grabs against a real X server: the test types on the server's
// keyboard through XTEST, on a connection of its own, and reads what the
// grabber reports through its event descriptor.

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <set>
#include <span>
#include <vector>

#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon.h>

#include "TestDisplay.h"
#include "platform/x11/KeyGrabs.h"
#include "platform/x11/X11GlobalShortcutGrabber.h"
#include "platform/x11/X11RawKeyWatcher.h"

namespace tessarin::x11 {
namespace {

using Report = GrabTable::Report;
constexpr auto pressed = KeyTransition::pressed;
constexpr auto released = KeyTransition::released;
constexpr int kSentinel = 99;
constexpr uint8_t kShift = KeyModifier::shift;

auto keyboardMapping(xcb_connection_t* c) { return waitReply(xcb_get_keyboard_mapping_reply, c, requestKeyboardMap(c)); }

// The highest keycode that types nothing, 0 when there is none.
xcb_keycode_t spareKeycode(xcb_connection_t* c) {
    const auto reply = keyboardMapping(c);
    if (!reply || reply->keysyms_per_keycode == 0) return 0;
    const std::span keysyms(xcb_get_keyboard_mapping_keysyms(reply.get()),
                            size_t(xcb_get_keyboard_mapping_keysyms_length(reply.get())));
    for (size_t row = keysyms.size() / reply->keysyms_per_keycode; row-- > 0;) {
        const auto symbols = keysyms.subspan(row * reply->keysyms_per_keycode, reply->keysyms_per_keycode);
        if (std::ranges::all_of(symbols, [](xcb_keysym_t s) { return s == XCB_NO_SYMBOL; })) {
            return static_cast<xcb_keycode_t>(xcb_get_setup(c)->min_keycode + row);
        }
    }
    return 0;
}

// Undoes a change to the server's keyboard when the test ends.
struct Restore {
    std::function<void()> undo;
    ~Restore() { undo(); }
};

// Gives the spare keycode `keysym` until the test ends.
[[nodiscard]] Restore mapSpare(testing::TestDisplay& x, xcb_keycode_t spare, xcb_keysym_t keysym) {
    const auto set = [&x, spare](xcb_keysym_t symbol) {
        xcb_change_keyboard_mapping(x.connection(), 1, spare, 1, &symbol);
        x.sync();
    };
    set(keysym);
    return {[set] { set(XCB_NO_SYMBOL); }};
}

// The test's keyboard: XTEST key presses on the test's own connection. Keys
// still down at the end come up again, and locks left on go off, for the
// next test on the same server.
class Keyboard {
public:
    explicit Keyboard(testing::TestDisplay& x) : x_(x) {}
    ~Keyboard() {
        if (!x_.ok()) return;
        for (const xcb_keycode_t key : std::set<xcb_keycode_t>(down_)) release(key);
        if (modifierState() & XCB_MOD_MASK_LOCK) type({"Caps_Lock"});
        if (modifierState() & XCB_MOD_MASK_2) type({"Num_Lock"});
    }

    std::vector<xcb_keycode_t> keycodes(const char* name) {
        return readKeyboardMap(x_.connection()).value_or(KeyboardMap{}).keycodesOf(keysymFromName(name));
    }
    xcb_keycode_t keycode(const char* name) {
        const auto all = keycodes(name);
        return all.empty() ? xcb_keycode_t{0} : all.front();
    }
    void press(xcb_keycode_t key) { fake(XCB_KEY_PRESS, key), down_.insert(key); }
    void release(xcb_keycode_t key) { fake(XCB_KEY_RELEASE, key), down_.erase(key); }
    // Presses the keys in order and releases them in reverse.
    void type(std::vector<xcb_keycode_t> keys) {
        for (const xcb_keycode_t key : keys) press(key);
        for (auto key = keys.rbegin(); key != keys.rend(); ++key) release(*key);
    }
    void type(std::initializer_list<const char*> names) {
        std::vector<xcb_keycode_t> keys;
        for (const char* name : names) keys.push_back(keycode(name));
        type(keys);
    }
    // The modifier state the server holds now (locks included).
    uint16_t modifierState() {
        const auto pointer = waitReply(xcb_query_pointer_reply, x_.connection(),
                                       xcb_query_pointer(x_.connection(), x_.root()));
        return pointer ? modifierBits(pointer->mask) : uint16_t{0};
    }

private:
    void fake(uint8_t type, xcb_keycode_t key) {
        xcb_test_fake_input(x_.connection(), type, key, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        x_.sync();  // the server has delivered the event when this returns
    }

    testing::TestDisplay& x_;
    std::set<xcb_keycode_t> down_;
};

class ShortcutGrab : public ::testing::Test {
protected:
    void SetUp() override {
        TESSARIN_REQUIRE_X_SERVER();
        ASSERT_TRUE(x.ok());
        grabber = open();
        ASSERT_TRUE(grabber);
    }

    std::unique_ptr<X11GlobalShortcutGrabber> open(X11ShortcutOptions options = {}) {
        const char* display = std::getenv("DISPLAY");
        auto opened = X11GlobalShortcutGrabber::open(display != nullptr ? display : "", options);
        EXPECT_TRUE(opened) << (opened ? "" : opened.error());
        if (!opened) return nullptr;
        auto result = std::move(opened.value());
        result->setKeyListener([this](int id, KeyTransition transition) { heard.push_back({id, transition}); });
        result->setRegrabListener([this](int id, const GrabResult& outcome) { regrabs.emplace_back(id, outcome); });
        EXPECT_TRUE(result->grab(kSentinel, {0, "Pause"}).ok());
        return result;
    }

    // Runs the grabber's events through the descriptor until `done` (at most
    // 10 s, for loaded machines).
    bool waitUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd readable{grabber->eventDescriptor(), POLLIN, 0};
            if (::poll(&readable, 1, static_cast<int>(left.count())) > 0) grabber->processPendingEvents();
        }
        return true;
    }

    // What was reported for the keys typed so far: the sentinel key typed
    // after them comes back once everything before it has been handled.
    std::vector<Report> settle() {
        keyboard.type({"Pause"});
        const bool arrived = waitUntil([this] {
            return std::ranges::find(heard, Report{kSentinel, released}) != heard.end();
        });
        EXPECT_TRUE(arrived) << "the sentinel key never came back";
        std::vector<Report> reports;
        std::ranges::copy_if(heard, std::back_inserter(reports), [](const Report& r) { return r.id != kSentinel; });
        heard.clear();
        return reports;
    }

    testing::TestDisplay x;
    Keyboard keyboard{x};
    std::unique_ptr<X11GlobalShortcutGrabber> grabber;
    std::vector<Report> heard;
    std::vector<std::pair<int, GrabResult>> regrabs;
};

const std::vector<Report> kPressAndRelease{{1, pressed}, {1, released}};

// Both Print keys of this keyboard, under any locks, report press and
// release (the release even after Shift came up); other combinations of
// the key report nothing, and a second id cannot take the combination.
TEST_F(ShortcutGrab, OnlyTheGrabbedCombinationReportsWhateverTheLocks) {
    ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
    const auto prints = keyboard.keycodes("Print");
    ASSERT_GE(prints.size(), 1u);
    for (const xcb_keycode_t print : prints) {
        SCOPED_TRACE(int(print));
        keyboard.type({keyboard.keycode("Shift_L"), print});
        EXPECT_EQ(settle(), kPressAndRelease);
    }
    const struct { std::vector<const char*> locks; uint16_t state; } rows[] = {
        {{"Caps_Lock"}, XCB_MOD_MASK_LOCK},
        {{"Num_Lock"}, XCB_MOD_MASK_2},  // where this keyboard puts Num Lock
        {{"Caps_Lock", "Num_Lock"}, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2},
    };
    for (const auto& [locks, state] : rows) {
        SCOPED_TRACE(state);
        for (const char* lock : locks) keyboard.type({lock});
        ASSERT_EQ(keyboard.modifierState(), state);
        keyboard.type({"Shift_L", "Print"});
        EXPECT_EQ(settle(), kPressAndRelease);
        for (const char* lock : locks) keyboard.type({lock});
        ASSERT_EQ(keyboard.modifierState(), 0);
    }

    keyboard.type({"Print"});
    keyboard.type({"Control_L", "Print"});
    keyboard.type({"Control_L", "Shift_L", "Print"});
    keyboard.type({"Shift_L", "a"});
    EXPECT_EQ(settle(), std::vector<Report>{});

    const xcb_keycode_t shift = keyboard.keycode("Shift_L"), print = keyboard.keycode("Print");
    keyboard.press(shift);
    keyboard.press(print);
    keyboard.release(shift);
    keyboard.release(print);
    EXPECT_EQ(settle(), kPressAndRelease);

    const GrabResult second = grabber->grab(2, {kShift, "Print"});
    EXPECT_EQ(second.outcome, GrabOutcome::refused);
    EXPECT_EQ(second.detail, "Shift+Print is already the key of another shortcut");
    grabber->release(2);  // leaves the first id's grab alone
    keyboard.type({"Shift_L", "Print"});
    EXPECT_EQ(settle(), kPressAndRelease);
}

TEST_F(ShortcutGrab, AHeldKeyRepeatsPressesAndReportsOneRelease) {
    const struct { const char* name; bool detectable; } rows[] = {
        {"XKB detectable auto-repeat", true},
        {"release+press pairs dropped", false},
    };
    for (const auto& [name, detectable] : rows) {
        SCOPED_TRACE(name);
        grabber.reset();  // its sentinel grab would refuse the new one's
        grabber = open({.detectableAutoRepeat = detectable});
        ASSERT_TRUE(grabber);
        EXPECT_EQ(grabber->detectsAutoRepeat(), detectable);
        ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
        const xcb_keycode_t shift = keyboard.keycode("Shift_L"), print = keyboard.keycode("Print");
        keyboard.press(shift);
        keyboard.press(print);
        // The server's own auto-repeat, after its delay.
        EXPECT_TRUE(waitUntil([this] { return std::ranges::count(heard, Report{1, pressed}) >= 3; }));
        keyboard.release(print);
        keyboard.release(shift);
        const std::vector<Report> reports = settle();
        ASSERT_GE(reports.size(), 2u);
        EXPECT_EQ(std::ranges::count(reports, Report{1, released}), 1);
        EXPECT_EQ(reports.back(), (Report{1, released}));
        EXPECT_EQ(std::ranges::count(reports, Report{1, pressed}), static_cast<long>(reports.size()) - 1);
    }
}

TEST_F(ShortcutGrab, ReleasingAnIdStopsItsReports) {
    ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
    grabber->release(1);
    keyboard.type({"Shift_L", "Print"});
    EXPECT_EQ(settle(), std::vector<Report>{});

    // Grabbing the id again with another combination leaves the old one free.
    ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
    ASSERT_TRUE(grabber->grab(1, {kShift, "F5"}).ok());
    keyboard.type({"Shift_L", "Print"});
    keyboard.type({"Shift_L", "F5"});
    EXPECT_EQ(settle(), kPressAndRelease);

    // Released while its key is down: not even that key's release comes.
    const xcb_keycode_t shift = keyboard.keycode("Shift_L"), f5 = keyboard.keycode("F5");
    keyboard.press(shift);
    keyboard.press(f5);
    ASSERT_TRUE(waitUntil([this] { return !heard.empty(); }));
    grabber->release(1);
    keyboard.release(f5);
    keyboard.release(shift);
    EXPECT_EQ(settle(), (std::vector<Report>{{1, pressed}}));
}

TEST_F(ShortcutGrab, ANameWithoutAKeyIsUnknown) {
    ASSERT_TRUE(keyboard.keycodes("F33").empty()) << "this keyboard has an F33 key";
    const struct { const char* key; std::string detail; } rows[] = {
        {"NoSuchKey", "\"NoSuchKey\" is not the name of a key"},
        {"", "\"\" is not the name of a key"},
        {"F33", "the keyboard has no key for \"F33\""},
    };
    for (const auto& [key, detail] : rows) {
        SCOPED_TRACE(key);
        const GrabResult result = grabber->grab(1, {kShift, key});
        EXPECT_EQ(result.outcome, GrabOutcome::unknownKey);
        EXPECT_EQ(result.detail, detail);
    }
}

TEST_F(ShortcutGrab, ACombinationAnotherClientHoldsIsRefusedButKeepsWhatWasGranted) {
    // Another program holds Ctrl+Alt+Print with the locks off.
    testing::TestDisplay other;
    ASSERT_TRUE(other.ok());
    const auto prints = keyboard.keycodes("Print");
    for (const xcb_keycode_t print : prints) {
        xcb_grab_key(other.connection(), 0, other.root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, print,
                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    other.sync();

    const GrabResult refused = grabber->grab(2, {KeyModifier::control | KeyModifier::alt, "Print"});
    EXPECT_EQ(refused.outcome, GrabOutcome::refused);
    EXPECT_EQ(refused.detail, "another program already uses Ctrl+Alt+Print");

    // The grabber goes on working for other combinations.
    ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
    keyboard.type({"Shift_L", "Print"});
    keyboard.type({"Control_L", "Alt_L", "Print"});  // the other program's
    EXPECT_EQ(settle(), kPressAndRelease);

    // With Num Lock on, Ctrl+Alt+Print is ours.
    keyboard.type({"Num_Lock"});
    keyboard.type({"Control_L", "Alt_L", "Print"});
    keyboard.type({"Num_Lock"});
    EXPECT_EQ(settle(), (std::vector<Report>{{2, pressed}, {2, released}}));
}

TEST_F(ShortcutGrab, EventsReadDuringAGrabStillWakeTheLoop) {
    ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
    keyboard.press(keyboard.keycode("Shift_L"));
    keyboard.press(keyboard.keycode("Print"));
    // The round trips of this grab read the press off the socket.
    ASSERT_TRUE(grabber->grab(2, {kShift, "F5"}).ok());
    EXPECT_TRUE(waitUntil([this] { return !heard.empty(); }));
    EXPECT_EQ(heard, (std::vector<Report>{{1, pressed}}));
}

TEST_F(ShortcutGrab, ANewKeyboardMapGrabsEveryIdAgain) {
    const KeyboardMap before = readKeyboardMap(x.connection()).value_or(KeyboardMap{});
    const xcb_keysym_t f33 = xkb_keysym_from_name("F33", XKB_KEYSYM_NO_FLAGS);
    ASSERT_TRUE(before.keycodesOf(f33).empty());
    const xcb_keycode_t spare = spareKeycode(x.connection());
    ASSERT_NE(spare, 0);

    ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
    EXPECT_EQ(grabber->grab(2, {0, "F33"}).outcome, GrabOutcome::unknownKey);

    const Restore restore = mapSpare(x, spare, f33);

    const auto heardBoth = [this] {
        std::set<int> ids;
        for (const auto& [id, result] : regrabs) ids.insert(id);
        return ids == std::set<int>{1, 2, kSentinel};
    };
    ASSERT_TRUE(waitUntil(heardBoth));
    for (const auto& [id, result] : regrabs) EXPECT_TRUE(result.ok()) << id << ": " << result.detail;

    keyboard.type({spare});
    keyboard.type({"Shift_L", "Print"});
    EXPECT_EQ(settle(), (std::vector<Report>{{2, pressed}, {2, released}, {1, pressed}, {1, released}}));
}

// The server announces a new map whenever another device starts typing;
// when it moves none of the grabbed keys, a key that is down stays down.
TEST_F(ShortcutGrab, AMapChangeThatMovesNoGrabbedKeyKeepsTheKeyThatIsDown) {
    const xcb_keycode_t spare = spareKeycode(x.connection());
    ASSERT_NE(spare, 0);
    ASSERT_TRUE(grabber->grab(1, {0, "Print"}).ok());
    const xcb_keycode_t print = keyboard.keycode("Print");
    keyboard.press(print);
    ASSERT_TRUE(waitUntil([this] { return std::ranges::find(heard, Report{1, pressed}) != heard.end(); }));

    const Restore restore = mapSpare(x, spare, xkb_keysym_from_name("F34", XKB_KEYSYM_NO_FLAGS));
    keyboard.type({spare});

    keyboard.release(print);
    EXPECT_EQ(settle(), kPressAndRelease);
    EXPECT_TRUE(regrabs.empty());
}

TEST_F(ShortcutGrab, NumLockMovedToAnotherModifierIsFollowed) {
    ASSERT_TRUE(grabber->grab(1, {kShift, "Print"}).ok());
    const auto original = waitReply(xcb_get_modifier_mapping_reply, x.connection(),
                                    xcb_get_modifier_mapping(x.connection()));
    ASSERT_TRUE(original);
    const uint8_t perModifier = original->keycodes_per_modifier;
    const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(original.get());
    const std::vector<xcb_keycode_t> before(keys, keys + 8 * perModifier);
    // Num Lock from Mod2 to Mod3 (rows: Shift, Lock, Control, Mod1..Mod5).
    std::vector<xcb_keycode_t> moved = before;
    const xcb_keycode_t numLock = keyboard.keycode("Num_Lock");
    for (uint8_t i = 0; i < perModifier; ++i) {
        if (moved[4 * perModifier + i] == numLock) moved[4 * perModifier + i] = 0;
    }
    moved[5 * perModifier] = numLock;
    const auto setModifiers = [&](const std::vector<xcb_keycode_t>& map) {
        const auto reply = waitReply(xcb_set_modifier_mapping_reply, x.connection(),
                                     xcb_set_modifier_mapping(x.connection(), perModifier, map.data()));
        return reply && reply->status == XCB_MAPPING_STATUS_SUCCESS;
    };
    ASSERT_TRUE(setModifiers(moved));
    const Restore restore{[&] { setModifiers(before); }};
    ASSERT_TRUE(waitUntil([this] { return regrabs.size() >= 2; }));
    for (const auto& [id, result] : regrabs) EXPECT_TRUE(result.ok()) << id << ": " << result.detail;

    keyboard.type({"Num_Lock"});
    ASSERT_EQ(keyboard.modifierState(), XCB_MOD_MASK_3);
    keyboard.type({"Shift_L", "Print"});
    keyboard.type({"Num_Lock"});
    EXPECT_EQ(settle(), kPressAndRelease);
}


// Escape watched for a countdown: heard once per press, even while another
// client holds the keyboard (the window being timed keeps its menu open),
// and other keys are not reported.
TEST(RawKeyWatcher, HearsEachPressOfItsKeyEvenUnderAnotherClientsKeyboardGrab) {
    if (!std::getenv("TESSARIN_TEST_X_SERVER")) GTEST_SKIP() << "needs the test X server";
    testing::TestDisplay x;
    ASSERT_TRUE(x.ok());
    Keyboard keyboard{x};
    int heard = 0;
    auto watcher = X11RawKeyWatcher::open(std::getenv("DISPLAY"), "Escape", [&] { ++heard; });
    ASSERT_TRUE(watcher) << watcher.error();
    const auto hear = [&](int expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (heard < expected && std::chrono::steady_clock::now() < deadline) {
            pollfd readable{(*watcher)->eventDescriptor(), POLLIN, 0};
            if (::poll(&readable, 1, 100) > 0) (*watcher)->processPendingEvents();
        }
        return heard;
    };

    testing::TestDisplay holder;
    const auto grab = waitReply(xcb_grab_keyboard_reply, holder.connection(),
                                xcb_grab_keyboard(holder.connection(), 0, holder.root(), XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    keyboard.type({"a"});
    keyboard.type({"Escape"});
    EXPECT_EQ(hear(1), 1);
    keyboard.type({"Escape"});
    EXPECT_EQ(hear(2), 2);
    xcb_ungrab_keyboard(holder.connection(), XCB_CURRENT_TIME);
    holder.sync();

    EXPECT_FALSE(X11RawKeyWatcher::open(std::getenv("DISPLAY"), "NoSuchKey", [] {}));
}

// The recorder stores a key by what it types unshifted, whatever Shift did.
TEST_F(ShortcutGrab, AKeyIsNamedByWhatItTypesWithoutModifiers) {
    const auto reply = keyboardMapping(x.connection());
    ASSERT_TRUE(reply);
    const KeyboardMap map = keyboardMapFrom(x.connection(), *reply);
    const struct { const char* typed; const char* unshifted; } rows[] = {
        {"exclam", "1"}, {"A", "a"}, {"Print", "Print"},
    };
    for (const auto& [typed, unshifted] : rows) {
        SCOPED_TRACE(typed);
        const auto keycodes = map.keycodesOf(keysymFromName(typed));
        ASSERT_FALSE(keycodes.empty());
        EXPECT_EQ(grabber->unshiftedKeyName(keycodes.front()), unshifted);
    }
    EXPECT_EQ(grabber->unshiftedKeyName(0), "");
    EXPECT_EQ(grabber->unshiftedKeyName(4096), "");
}

}  // namespace
}  // namespace tessarin::x11
