// tessarin-moving-scene: a test scene for screen recordings. It covers the
// screen with a window and redraws it --fps times a second: the frame
// number as 16 blocks of kBlock pixels along the top edge (white = bit set,
// least significant bit on the left) and a bar that moves across, so a
// recording can be checked frame by frame. Prints "ready" once the first
// frame is on the screen (and its sound has settled), then runs until killed.
//
// With --pulse-server it also plays sound into that server's default sink:
// a quiet 440 Hz tone, and every --flash-every frames a flash (a white
// square under the blocks for 100 ms) with a loud 1 kHz beep of 50 ms timed
// to be heard when the flash is on the screen, so a recording's audio/video
// offset can be measured.
//
//   tessarin-moving-scene [--fps 60] [--pulse-server S] [--flash-every N]

#include <pulse/simple.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kBlock = 48;
constexpr int kBits = 16;
constexpr int kRate = 44100;
constexpr int kChunk = 441;  // 10 ms
constexpr int kBeepSamples = kRate / 20;
constexpr int kFlashFrames = 6;
using Clock = std::chrono::steady_clock;

// Plays the tone and the beeps; a beep asked for time T starts in the
// chunk the server will play at T (the stream's latency tells when that is).
class Sound {
public:
    explicit Sound(const char* server) {
        pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 1};
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<uint32_t>(-1);
        buffer.tlength = kChunk * 4 * 4;
        buffer.prebuf = static_cast<uint32_t>(-1);
        buffer.minreq = static_cast<uint32_t>(-1);
        stream_ = pa_simple_new(server, "moving-scene", PA_STREAM_PLAYBACK, nullptr, "scene", &spec, nullptr, &buffer,
                                nullptr);
        if (stream_) thread_ = std::thread([this] { run(); });
    }
    bool ok() const { return stream_ != nullptr; }
    // Half a second played: the stream's latency figures have settled, so
    // beeps come when they are booked for.
    bool settled() const { return chunksWritten_ >= 50; }
    void beepAt(Clock::time_point at) {
        std::lock_guard guard(lock_);
        beeps_.push_back(at);
    }

private:
    void run() {
        std::vector<float> chunk(kChunk);
        int64_t toneAt = 0;
        for (;;) {
            const pa_usec_t latency = pa_simple_get_latency(stream_, nullptr);
            const auto playAt = Clock::now() + std::chrono::microseconds(latency);
            {
                std::lock_guard guard(lock_);
                while (!beeps_.empty()) {
                    const double ahead = std::chrono::duration<double>(beeps_.front() - playAt).count();
                    if (ahead >= kChunk / double(kRate)) break;
                    beepSample_ = -std::max<int64_t>(0, std::llround(ahead * kRate));
                    beeps_.pop_front();
                }
            }
            for (int i = 0; i < kChunk; ++i, ++toneAt) {
                float sample = 0.1f * std::sin(2 * M_PI * 440 * double(toneAt) / kRate);
                if (beepSample_ < 0) {
                    ++beepSample_;
                } else if (beepSample_ < kBeepSamples) {
                    sample = 0.8f * std::sin(2 * M_PI * 1000 * double(beepSample_) / kRate);
                    ++beepSample_;
                }
                chunk[static_cast<size_t>(i)] = sample;
            }
            if (pa_simple_write(stream_, chunk.data(), chunk.size() * sizeof(float), nullptr) < 0) return;
            ++chunksWritten_;
        }
    }

    pa_simple* stream_ = nullptr;
    std::mutex lock_;
    std::deque<Clock::time_point> beeps_;
    int64_t beepSample_ = kBeepSamples;
    std::atomic<int> chunksWritten_{0};
    std::thread thread_;
};

xcb_gcontext_t makeGc(xcb_connection_t* c, xcb_window_t window, uint32_t color) {
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const uint32_t values[] = {color, 0};
    xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
    return gc;
}

}  // namespace

int main(int argc, char** argv) {
    double fps = 60;
    const char* pulseServer = nullptr;
    uint32_t flashEvery = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--fps") == 0) fps = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--pulse-server") == 0) pulseServer = argv[i + 1];
        if (std::strcmp(argv[i], "--flash-every") == 0) flashEvery = static_cast<uint32_t>(std::atoi(argv[i + 1]));
    }
    Sound* sound = nullptr;
    if (pulseServer) {
        sound = new Sound(pulseServer);
        if (!sound->ok()) {
            std::fprintf(stderr, "cannot play to %s\n", pulseServer);
            return 1;
        }
    }
    if (flashEvery < 2 * kFlashFrames) flashEvery = 2 * kFlashFrames;
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
    auto next = Clock::now();
    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    bool ready = false;
    for (uint32_t frame = 0;; ++frame) {
        const int barX = static_cast<int>((frame * 8) % static_cast<uint32_t>(width));
        xcb_rectangle_t background{0, static_cast<int16_t>(kBlock), static_cast<uint16_t>(width),
                                   static_cast<uint16_t>(height - kBlock)};
        xcb_poly_fill_rectangle(c, window, gray, 1, &background);
        xcb_rectangle_t bar{static_cast<int16_t>(barX), static_cast<int16_t>(kBlock * 2), 64,
                            static_cast<uint16_t>(height - kBlock * 3)};
        xcb_poly_fill_rectangle(c, window, white, 1, &bar);
        // The beep is booked a quarter second ahead, for when the flash frame
        // is due, so the sound server can play it on time.
        const uint32_t lead = static_cast<uint32_t>(fps / 4) + 1;
        if (sound && (frame + lead) % flashEvery == 0) sound->beepAt(next + interval * lead);
        if (frame % flashEvery < kFlashFrames && frame >= flashEvery) {
            xcb_rectangle_t flash{0, static_cast<int16_t>(kBlock), 192, 40};
            xcb_poly_fill_rectangle(c, window, white, 1, &flash);
        }
        for (int bit = 0; bit < kBits; ++bit) {
            xcb_rectangle_t block{static_cast<int16_t>(bit * kBlock), 0, kBlock, kBlock};
            xcb_poly_fill_rectangle(c, window, (frame >> bit) & 1 ? white : black, 1, &block);
        }
        // Waits until the server drew the frame, so frames never pile up.
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        if (xcb_connection_has_error(c)) return 0;
        if (!ready && (!sound || sound->settled())) {
            std::printf("ready\n");
            std::fflush(stdout);
            ready = true;
        }
        next += interval;
        std::this_thread::sleep_until(next);
    }
}
