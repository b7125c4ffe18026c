// tessarin-moving-scene: a test scene for screen recordings. It covers the
// screen with a window and redraws it --fps times a second: the frame
// number as 16 blocks of kBlock pixels along the top edge (white = bit set,
// least significant bit on the left) and a bar that moves across, so a
// recording can be checked frame by frame. Prints "ready" once the first
// frame is on the screen, then runs until killed.
//
//   tessarin-moving-scene [--fps 60]

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr int kBlock = 48;
constexpr int kBits = 16;

xcb_gcontext_t makeGc(xcb_connection_t* c, xcb_window_t window, uint32_t color) {
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const uint32_t values[] = {color, 0};
    xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
    return gc;
}

}  // namespace

int main(int argc, char** argv) {
    double fps = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--fps") == 0) fps = std::atof(argv[i + 1]);
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot connect to the X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    const xcb_gcontext_t white = makeGc(c, window, 0xffffff);
    const xcb_gcontext_t black = makeGc(c, window, 0x000000);
    const xcb_gcontext_t gray = makeGc(c, window, 0x406080);
    xcb_flush(c);
    const auto interval = std::chrono::nanoseconds(static_cast<long long>(1e9 / (fps > 0 ? fps : 60)));
    auto next = std::chrono::steady_clock::now();
    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    for (uint32_t frame = 0;; ++frame) {
        const int barX = static_cast<int>((frame * 8) % static_cast<uint32_t>(width));
        xcb_rectangle_t background{0, static_cast<int16_t>(kBlock), static_cast<uint16_t>(width),
                                   static_cast<uint16_t>(height - kBlock)};
        xcb_poly_fill_rectangle(c, window, gray, 1, &background);
        xcb_rectangle_t bar{static_cast<int16_t>(barX), static_cast<int16_t>(kBlock * 2), 64,
                            static_cast<uint16_t>(height - kBlock * 3)};
        xcb_poly_fill_rectangle(c, window, white, 1, &bar);
        for (int bit = 0; bit < kBits; ++bit) {
            xcb_rectangle_t block{static_cast<int16_t>(bit * kBlock), 0, kBlock, kBlock};
            xcb_poly_fill_rectangle(c, window, (frame >> bit) & 1 ? white : black, 1, &block);
        }
        // Waits until the server drew the frame, so frames never pile up.
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        if (xcb_connection_has_error(c)) return 0;
        if (frame == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
        next += interval;
        std::this_thread::sleep_until(next);
    }
}
