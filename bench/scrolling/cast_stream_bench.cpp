// cast_stream_bench: frame delivery of a Wayland region stream (the
// ScreenCast portal's PipeWire stream cut to an area), as scrolling capture
// reads it. Run inside a Wayland session with the portal (bench/recording/
// wayland.py starts one and compares with GStreamer's pipewiresrc).
//
//   cast_stream_bench --area X,Y,W,H [--fps 30] [--seconds 5]
//
// Prints one JSON line: frames delivered, the rate, the first frame's delay
// after start(), and the longest gap between two frames.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/portal/CastRegionStreams.h"
#include "platform/portal/PipeWireRegionStream.h"

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

}  // namespace

int main(int argc, char** argv) {
    tessarin::portal::CastRegionRequest request;
    request.area = {0, 0, 1920, 1080};
    double seconds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--area") {
            long long x = 0, y = 0, w = 0, h = 0;
            if (std::sscanf(argv[i + 1], "%lld,%lld,%lld,%lld", &x, &y, &w, &h) != 4) return 2;
            request.area = {x, y, w, h};
        } else if (key == "--fps") {
            request.framesPerSecond = std::atof(argv[i + 1]);
        } else if (key == "--seconds") {
            seconds = std::atof(argv[i + 1]);
        }
    }
    const auto opened = Clock::now();
    auto stream = tessarin::portal::openCastRegionStream(nullptr, request);
    if (!stream) {
        std::printf("{\"error\":\"%s\"}\n", stream.error().description().c_str());
        return 1;
    }
    auto* cast = dynamic_cast<tessarin::portal::PipeWireRegionStream*>(stream.value().get());
    const auto started = Clock::now();
    if (auto error = cast->start()) {
        std::printf("{\"error\":\"%s\"}\n", error->description().c_str());
        return 1;
    }
    tessarin::LatestRegionFrame latest = cast->waitForFrameAfter(0, started + std::chrono::seconds(10));
    if (!latest.frame) {
        std::printf("{\"error\":\"no frame within 10 s\"}\n");
        return 1;
    }
    const auto first = Clock::now();
    const uint64_t firstID = latest.frameID;
    const auto end = first + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Clock::duration longestGap{};
    auto previous = first;
    while (Clock::now() < end && !cast->stopError()) {
        const auto next = cast->waitForFrameAfter(latest.frameID, end);
        if (next.frameID == latest.frameID) break;
        const auto now = Clock::now();
        longestGap = std::max(longestGap, now - previous);
        previous = now;
        latest = next;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - first).count();
    const uint64_t frames = latest.frameID - firstID;
    std::printf("{\"frames\":%llu,\"seconds\":%.3f,\"fps\":%.2f,\"portalMs\":%.1f,\"firstFrameMs\":%.1f,"
                "\"longestGapMs\":%.1f}\n",
                static_cast<unsigned long long>(frames), elapsed, double(frames) / elapsed,
                milliseconds(started - opened), milliseconds(first - started), milliseconds(longestGap));
    cast->stop();
    return 0;
}
