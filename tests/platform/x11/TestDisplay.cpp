#include "TestDisplay.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include <xcb/composite.h>

#include "platform/x11/XcbHandles.h"

namespace tessarin::x11::testing {

namespace {

pid_t startProcess(const std::vector<std::string>& command) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

}  // namespace

TestDisplay::TestDisplay() : connection_(xcb_connect(nullptr, nullptr)) {
    if (ok()) root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

TestDisplay::~TestDisplay() {
    for (const pid_t child : children_) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    if (ok()) {
        for (const xcb_atom_t property : rootProperties_) xcb_delete_property(connection_, root_, property);
        for (const xcb_window_t window : windows_) xcb_destroy_window(connection_, window);
        sync();
    }
    xcb_disconnect(connection_);
}

void TestDisplay::sync() { waitReply(xcb_get_input_focus_reply, connection_, xcb_get_input_focus(connection_)); }

xcb_atom_t TestDisplay::atom(const std::string& name) {
    const auto reply = waitReply(xcb_intern_atom_reply, connection_,
                                 xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.c_str()));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t TestDisplay::createWindow(const TestWindow& wanted) {
    const xcb_window_t window = xcb_generate_id(connection_);
    const uint32_t values[] = {wanted.colour, wanted.overrideRedirect ? 1u : 0u};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, wanted.parent == XCB_WINDOW_NONE ? root_ : wanted.parent,
                      static_cast<int16_t>(wanted.rect.x), static_cast<int16_t>(wanted.rect.y),
                      static_cast<uint16_t>(wanted.rect.width), static_cast<uint16_t>(wanted.rect.height), wanted.border,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    auto set = [&](xcb_atom_t property, xcb_atom_t type, uint8_t format, uint32_t items, const void* data) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, property, type, format, items, data);
    };
    const auto size = [](const std::string& text) { return static_cast<uint32_t>(text.size()); };
    if (wanted.wmClass) set(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, size(*wanted.wmClass), wanted.wmClass->data());
    if (wanted.wmName) set(XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, size(*wanted.wmName), wanted.wmName->data());
    if (wanted.netWmName) {
        set(atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, size(*wanted.netWmName), wanted.netWmName->data());
    }
    if (wanted.pid) set(atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &*wanted.pid);
    windows_.push_back(window);
    if (wanted.mapped) xcb_map_window(connection_, window);
    sync();  // the server paints the background while mapping
    return window;
}

pid_t TestDisplay::spawn(const std::vector<std::string>& command) {
    const pid_t child = startProcess(command);
    if (child > 0) children_.push_back(child);
    return child;
}

int TestDisplay::run(const std::vector<std::string>& command) {
    const pid_t child = startProcess(command);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    sync();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<xcb_window_t> TestDisplay::waitForTopLevel(const std::string& title) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto tree = waitReply(xcb_query_tree_reply, connection_, xcb_query_tree(connection_, root_));
        const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
            const auto attributes = waitReply(xcb_get_window_attributes_reply, connection_,
                                              xcb_get_window_attributes(connection_, children[i]));
            const auto name = waitReply(
                xcb_get_property_reply, connection_,
                xcb_get_property(connection_, 0, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 1024));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || !name) continue;
            const std::string text(static_cast<const char*>(xcb_get_property_value(name.get())),
                                   static_cast<size_t>(xcb_get_property_value_length(name.get())));
            if (text == title) return children[i];
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

void TestDisplay::setRootProperty(const std::string& name, const std::string& type, uint8_t format,
                                  const void* data, uint32_t items) {
    rootProperties_.push_back(atom(name));
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, rootProperties_.back(), atom(type), format, items,
                        data);
    sync();
}

void TestDisplay::setRootColour(uint32_t rgb) {
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%06x", rgb & 0xffffffu);
    run({"xsetroot", "-solid", colour});
}

void TestDisplay::warpPointer(int16_t x, int16_t y) {
    xcb_warp_pointer(connection_, XCB_WINDOW_NONE, root_, 0, 0, 0, 0, x, y);
    sync();
}

std::optional<PixelRect> TestDisplay::rootGeometry(xcb_window_t window) {
    const auto geometry = waitReply(xcb_get_geometry_reply, connection_, xcb_get_geometry(connection_, window));
    const auto position = waitReply(xcb_translate_coordinates_reply, connection_,
                                    xcb_translate_coordinates(connection_, window, root_, 0, 0));
    if (!geometry || !position) return std::nullopt;
    return PixelRect{position->dst_x, position->dst_y, geometry->width, geometry->height};
}

void TestDisplay::redirectLikeACompositor() {
    waitReply(xcb_composite_query_version_reply, connection_, xcb_composite_query_version(connection_, 0, 4));
    xcb_composite_redirect_subwindows(connection_, root_, XCB_COMPOSITE_REDIRECT_MANUAL);
    sync();
}

std::unique_ptr<X11ScreenBackend> connectBackend(X11BackendOptions options) {
    const char* display = std::getenv("DISPLAY");
    auto backend = X11ScreenBackend::connect(display != nullptr ? display : "", std::move(options));
    EXPECT_TRUE(backend) << (backend ? "" : backend.error());
    return backend ? std::move(backend.value()) : nullptr;
}

uint32_t rgbAt(const Image& image, uint32_t x, uint32_t y) {
    const uint8_t* pixel = image.row(y) + size_t{x} * 4;
    return uint32_t{pixel[0]} << 16 | uint32_t{pixel[1]} << 8 | pixel[2];
}

bool isSolid(const Image& image, uint32_t rgb) {
    for (uint32_t y = 0; y < image.height(); ++y) {
        for (uint32_t x = 0; x < image.width(); ++x) {
            if (rgbAt(image, x, y) != rgb || image.row(y)[x * 4 + 3] != 0xff) return false;
        }
    }
    return true;
}

}  // namespace tessarin::x11::testing
