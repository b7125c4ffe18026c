#!/usr/bin/env python3
"""Region streams and recording through the ScreenCast portal (Wayland).

Runs itself inside a headless 1920x1080 Wayland session
(tests/support/wayland-run.sh, the portal's continuous ScreenCast backend at
30 frames a second) and measures, taking turns run by run:

- scrolling frame delivery: cast_stream_bench on a 800x600 area and on the
  whole 1920x1080 screen at 30 fps, against the rate the portal is set to
  send (30: its max_fps) -- GStreamer's pipewiresrc, the peer below, is a
  recorder and is measured as one;
- recording at 1080p30: tessarin-recording-tool record --screencast, against
  GStreamer's `pipewiresrc ! videoconvert ! vp8enc ! webmmux` recorder
  (the pipeline desktop recorders build). Per run: the frames in the movie
  (ffprobe), frames per second of recording asked for (a recorder that
  falls behind or starts late has fewer), and dropped frames = the movie's
  length times 30 minus its frames (gaps inside the movie).

  cmake --build build --target cast_stream_bench tessarin-recording-tool tessarin-media
  bench/recording/wayland.py [--seconds 10] [--runs 3]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FPS = 30
FULL = (1920, 1080)


def in_session(args):
    if os.environ.get("WAYLAND_SESSION_DIR"):
        return False
    wrapper = os.path.join(ROOT, "tests", "support", "wayland-run.sh")
    limit = str(int(args.seconds * args.runs * 8 + 120))
    # The system's Python: python3-gi is installed for it, not for other interpreters.
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
    os.execv(wrapper, [wrapper, "--size", "%dx%d" % FULL, "--timeout", limit, "--", python] + sys.argv)


def portal_stream():
    """A ScreenCast session of our own: (node, fd, close)."""
    import gi
    gi.require_version("Gio", "2.0")
    from gi.repository import Gio, GLib
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    sender = bus.get_unique_name()[1:].replace(".", "_")
    dest, obj, sc = "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.portal.ScreenCast"
    counter = [0]

    def request(method, signature, args, options):
        counter[0] += 1
        token = "bench%d_%d" % (os.getpid(), counter[0])
        path = "%s/request/%s/%s" % (obj, sender, token)
        loop, result = GLib.MainLoop(), {}

        def answered(*params):
            result["code"], result["results"] = params[5].unpack()
            loop.quit()
        sid = bus.signal_subscribe(dest, "org.freedesktop.portal.Request", "Response", path, None, 0, answered)
        options = dict(options, handle_token=GLib.Variant("s", token))
        bus.call_sync(dest, obj, sc, method, GLib.Variant("(%sa{sv})" % signature, tuple(args) + (options,)),
                      None, 0, 30000, None)
        GLib.timeout_add_seconds(30, loop.quit)
        loop.run()
        bus.signal_unsubscribe(sid)
        if result.get("code") != 0:
            sys.exit("%s failed: %r" % (method, result))
        return result["results"]

    session = request("CreateSession", "", [], {"session_handle_token": GLib.Variant("s", "benchs%d" % os.getpid())})["session_handle"]
    request("SelectSources", "o", [session], {"types": GLib.Variant("u", 1)})
    node = request("Start", "os", [session, ""], {})["streams"][0][0]
    reply, fds = bus.call_with_unix_fd_list_sync(dest, obj, sc, "OpenPipeWireRemote",
                                                 GLib.Variant("(oa{sv})", (session, {})), None, 0, 30000, None, None)
    fd = fds.get(reply.unpack()[0])

    def close():
        os.close(fd)
        bus.call_sync(dest, session, "org.freedesktop.portal.Session", "Close", None, None, 0, 5000, None)
    return node, fd, close


def gst_record(pipeline_tail, seconds):
    """Records pipewiresrc into `pipeline_tail` for `seconds`, then ends the stream (the file is finished)."""
    node, fd, close = portal_stream()
    argv = ["gst-launch-1.0", "-e", "-q", "pipewiresrc", "fd=%d" % fd, "path=%d" % node, "do-timestamp=true", "!"] + \
        pipeline_tail
    process = subprocess.Popen(argv, pass_fds=[fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(seconds)
    process.send_signal(2)  # SIGINT: -e sends end-of-stream first
    process.wait(timeout=60)
    close()


def shown(value):
    return "-" if value != value else "%.0f" % value  # NaN: not measured


def probe_frames(movie):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                          "stream=nb_read_frames,width,height:format=duration", "-of", "json", movie],
                         capture_output=True, text=True).stdout
    info = json.loads(out)
    stream = info["streams"][0]
    return int(stream["nb_read_frames"]), float(info["format"]["duration"]), stream["width"], stream["height"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    args = parser.parse_args()
    in_session(args)
    work = tempfile.mkdtemp(prefix="tessarin-wayland-bench.")
    os.environ.update(XDG_DATA_HOME=os.path.join(work, "data"), HOME=work)
    # GStreamer scans its plugins on first use in a fresh home: not part of any run.
    subprocess.run(["gst-inspect-1.0", "pipewiresrc"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    bench = os.path.join(args.build, "bench", "scrolling", "cast_stream_bench")
    tool = os.path.join(args.build, "tests", "tools", "tessarin-recording-tool")
    module = os.path.join(args.build, "src", "libtessarin-media.so")

    rows = {}

    def add(name, value):
        rows.setdefault(name, []).append(value)

    for run in range(args.runs):
        order = [0, 1] if run % 2 == 0 else [1, 0]
        for which in order:
            if which == 0:
                for label, area in (("800x600", "560,240,800,600"), ("1920x1080", "0,0,1920,1080")):
                    out = json.loads(subprocess.run([bench, "--area", area, "--fps", str(FPS), "--seconds",
                                                     str(args.seconds)], capture_output=True, text=True).stdout)
                    add("stream tessarin " + label, (out["fps"], out["longestGapMs"], out["firstFrameMs"]))
                movie = os.path.join(work, "tessarin.mp4")
                out = subprocess.run([tool, "record", "--screencast", "--module", module, "--area", "0,0,1920,1080",
                                      "--fps", str(FPS), "--seconds", str(args.seconds), "--out", movie],
                                     capture_output=True, text=True).stdout.splitlines()[-1]
                report = json.loads(out)
                frames, duration, width, height = probe_frames(movie)
                add("record tessarin", (frames, duration, max(0, round(duration * FPS) - frames),
                                        report.get("streamMissed", 0), "%dx%d" % (width, height), frames / args.seconds))
            else:
                movie = os.path.join(work, "gstreamer.webm")
                gst_record(["videoconvert", "!", "vp8enc", "deadline=1", "cpu-used=16", "threads=2", "!", "webmmux", "!",
                     "filesink", "location=" + movie], args.seconds)
                frames, duration, width, height = probe_frames(movie)
                add("record gstreamer", (frames, duration, max(0, round(duration * FPS) - frames), "-",
                                         "%dx%d" % (width, height), frames / args.seconds))

    print("Region stream frame delivery at %d fps (median of %d runs of %.0f s)" % (FPS, args.runs, args.seconds))
    print("| reader | area | frames/s | longest gap ms | first frame ms |")
    print("|---|---|---|---|---|")
    for name in ("stream tessarin 800x600", "stream tessarin 1920x1080"):
        values = rows.get(name, [])
        if not values:
            continue
        _, reader, area = name.split()
        print("| %s | %s | %.1f | %s | %s |" % (reader, area, statistics.median(v[0] for v in values),
                                                  shown(statistics.median(v[1] for v in values)),
                                                  shown(statistics.median(v[2] for v in values))))
    print()
    print("Recording 1920x1080 at %d fps through ScreenCast (%d runs of %.0f s)" % (FPS, args.runs, args.seconds))
    print("| recorder | size | frames | frames per recorded second | movie length s | dropped (length x %d - frames) "
          "| stream frames unseen |" % FPS)
    print("|---|---|---|---|---|---|---|")
    for name in ("record tessarin", "record gstreamer"):
        for frames, duration, dropped, unseen, size, rate in rows.get(name, []):
            print("| %s | %s | %d | %.1f | %.2f | %d | %s |" % (name.split()[1], size, frames, rate, duration, dropped,
                                                                  unseen))
    return 0


if __name__ == "__main__":
    sys.exit(main())
