#!/usr/bin/env python3
"""Screen recording against ffmpeg's x11grab on the same X server.

Starts its own Xvfb (1920x1080x24) with the moving test scene and a private
PulseAudio server (a null sink, its monitor the default input, into which
the scene plays a tone and a beep with each flash), then records --seconds of the whole screen at 30 fps with
tessarin-recording-tool and with `ffmpeg -f x11grab -c:v libx264 -preset
ultrafast` at the same bit rate, without and with the microphone, taking
turns. For each run: frames missing against the frame rate, frames repeated
(read from the frame numbers the scene draws), the process's CPU share and
peak RSS, the file size, start-to-first-frame and stop-to-finished latency,
and with the microphone the audio/video offset (median of beep minus flash;
a flash shows in the first grab after it was drawn, so up to one frame
interval, 33 ms, of video lateness is the grab's granularity).
Then the 1080p recording is exported to 720p by the tool and by ffmpeg.

The application's own recording flow runs too (row "tessarin app"): the
desktop application on a private session bus, "Record Video" through its
bus action, the overlay dragged over 1600x900 from the top-left corner with
xdotool, recording with the frame ring and the control panel on the screen;
its CPU share is the application process's over the recording.

The editor's reading of the 1080p recording (tessarin-recording-tool
frames): open to first frame shown, scrubbing (jumps to scattered times)
and playback steps, against `ffmpeg -ss T -i movie -frames:v 1` for the same
number of jumps (a new process each, as a peer with no resident decoder).

  cmake --build build --target tessarin-recording-tool tessarin-moving-scene tessarin-media
  bench/recording/run.py [--seconds 60] [--display 235]
"""

import argparse
import json
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

FPS = 30
WIDTH, HEIGHT = 1920, 1080
BIT_RATE = max(4_000_000, min(30_000_000, int(FPS * WIDTH * HEIGHT * 0.1)))


def wait_for(condition, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def run_measured(argv, env, stop_after=None, stdin=None):
    """Runs argv; returns (stdout, wall seconds, cpu seconds, peak RSS MiB, stop latency ms)."""
    start = time.monotonic()
    process = subprocess.Popen(argv, env=env, stdin=subprocess.PIPE if stop_after else subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    stop_ms = None
    if stop_after:
        time.sleep(max(0, start + stop_after - time.monotonic()))
        asked = time.monotonic()
        process.stdin.write(b"q")
        process.stdin.close()
    out = process.stdout.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    if stop_after:
        stop_ms = (time.monotonic() - asked) * 1000
    wall = time.monotonic() - start
    return out, wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024, stop_ms


def video_packets(movie):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=pts_time",
                          "-of", "csv=p=0", movie], capture_output=True, text=True).stdout
    return [float(line) for line in out.split() if line]


def repeated_frames(movie):
    gray = subprocess.run(["ffmpeg", "-v", "error", "-i", movie, "-vf", "crop=768:48:0:0,scale=16:1:flags=area",
                           "-f", "rawvideo", "-pix_fmt", "gray", "-"], capture_output=True).stdout
    numbers = [sum(1 << bit for bit in range(16) if gray[i + bit] > 128) for i in range(0, len(gray) - 15, 16)]
    repeats = sum(1 for a, b in zip(numbers, numbers[1:]) if b == a)
    backwards = sum(1 for a, b in zip(numbers, numbers[1:]) if b < a)
    return repeats, backwards


def av_offset_ms(movie):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                          "frame=best_effort_timestamp_time", "-of", "csv=p=0", movie], capture_output=True, text=True).stdout
    times = [float(x) for x in out.replace(",", "").split() if x != "N/A"]
    gray = subprocess.run(["ffmpeg", "-v", "error", "-i", movie, "-vf", "crop=192:40:0:48,scale=1:1:flags=area",
                           "-f", "rawvideo", "-pix_fmt", "gray", "-"], capture_output=True).stdout
    flashes = [times[i] for i in range(1, min(len(times), len(gray))) if gray[i] > 128 and gray[i - 1] <= 128]
    pcm = subprocess.run(["ffmpeg", "-v", "error", "-i", movie, "-vn", "-f", "f32le", "-ac", "1", "-ar", "44100", "-"],
                         capture_output=True).stdout
    import array
    samples = array.array("f", pcm[:len(pcm) // 4 * 4])
    beeps, quiet = [], 0
    for i, sample in enumerate(samples):
        if abs(sample) > 0.4:
            if quiet > 44100 * 0.3:
                beeps.append(i / 44100)
            quiet = 0
        else:
            quiet += 1
    if not flashes or not beeps:
        return None
    offsets = sorted(min(beeps, key=lambda b: abs(b - f)) - f for f in flashes)
    return 1000 * offsets[len(offsets) // 2]


def audio_duration(movie):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_entries", "stream=duration",
                          "-of", "csv=p=0", movie], capture_output=True, text=True).stdout.strip()
    return float(out) if out and out != "N/A" else None


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def record_with_chrome(build, env, work, seconds):
    """The application's flow: returns (movie, cpu seconds, wall seconds) or exits."""
    home = os.path.join(work, "app-home")
    config = os.path.join(home, ".config", "io.tessarin.Tessarin")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "preferences.json"), "w") as f:
        json.dump({"onboardingCompletedV1": True, "playSound": False}, f)
    app_env = dict(env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local/share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
                   TESSARIN_LOG="stderr", QT_QPA_PLATFORM="xcb")
    bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                         env=app_env, capture_output=True, text=True).stdout.split()
    app_env["DBUS_SESSION_BUS_ADDRESS"] = bus[0]
    log_path = os.path.join(work, "app.log")
    log = open(log_path, "w")
    app = subprocess.Popen([os.path.join(build, "src/tessarin")], env=app_env, stdout=log, stderr=log)

    def logged(text):
        with open(log_path) as f:
            return text in f.read()

    def action(name):
        subprocess.run(["gdbus", "call", "--session", "--dest", "io.tessarin.Tessarin", "--object-path",
                        "/io/tessarin/Tessarin", "--method", "org.freedesktop.Application.ActivateAction", name,
                        "[]", "{}"], env=app_env, capture_output=True, check=True)

    try:
        if not wait_for(lambda: logged("app.ready")):
            sys.exit("the application did not start")
        action("recordVideo")
        if not wait_for(lambda: logged("overlay.shown")):
            sys.exit("the overlay did not show")
        subprocess.run(["xdotool", "mousemove", "--sync", "0", "0", "mousedown", "1", "mousemove", "800", "450",
                        "mousemove", "--sync", "1600", "900", "mouseup", "1", "key", "Return"], env=app_env, check=True)
        if not wait_for(lambda: logged("recording_flow.panel")):
            sys.exit("the recording did not start")
        cpu_before, started = cpu_seconds(app.pid), time.monotonic()
        time.sleep(seconds)
        cpu = cpu_seconds(app.pid) - cpu_before
        wall = time.monotonic() - started
        action("recordVideo")
        if not wait_for(lambda: logged("recording_flow.recorded file=")):
            sys.exit("the recording did not finish")
        with open(log_path) as f:
            movie = f.read().split("recording_flow.recorded file=", 1)[1].splitlines()[0]
        return movie, cpu, wall
    finally:
        app.terminate()
        app.wait()
        subprocess.run(["kill", bus[1]])


def editor_reading(tool, movie, env, jumps):
    out = subprocess.run([tool, "frames", "--in", movie, "--scrubs", str(jumps)], env=env, capture_output=True,
                         text=True).stdout
    ours = json.loads(out.strip().splitlines()[-1])
    duration = float(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                                     movie], capture_output=True, text=True).stdout.strip())
    peer = []
    for i in range(jumps):
        at = duration * ((i * 0.618034) % 1.0)
        started = time.monotonic()
        subprocess.run(["ffmpeg", "-v", "error", "-ss", f"{at:.3f}", "-i", movie, "-frames:v", "1", "-s", "960x540",
                        "-f", "null", "-"], env=env, capture_output=True)
        peer.append((time.monotonic() - started) * 1000)
    peer.sort()
    print(f"\nEditor on the {ours['width']}x{ours['height']} recording ({jumps} jumps, preview 960x540):\n")
    print("| reader | open to first frame ms | scrub p50 ms | scrub p95 ms | scrub max ms | playback step p95 ms |")
    print("|---|---|---|---|---|---|")
    print(f"| tessarin frame reader | {ours['firstFrameMs']:.0f} | {ours['scrub']['p50Ms']:.0f} | "
          f"{ours['scrub']['p95Ms']:.0f} | {ours['scrub']['maxMs']:.0f} | {ours['step']['p95Ms']:.1f} |")
    print(f"| ffmpeg -ss (a process per frame) | — | {peer[len(peer) // 2]:.0f} | "
          f"{peer[min(len(peer) - 1, int(len(peer) * 0.95))]:.0f} | {peer[-1]:.0f} | — |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--display", type=int, default=235)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    tool = os.path.join(build, "tests/tools/tessarin-recording-tool")
    scene = os.path.join(build, "tests/tools/tessarin-moving-scene")
    work = tempfile.mkdtemp(prefix="tessarin-recording-bench-")
    display = f":{args.display}"
    env = dict(os.environ, DISPLAY=display, HOME=work, XDG_RUNTIME_DIR=work, XDG_CONFIG_HOME=work,
               TESSARIN_MODULE_DIR=os.path.join(build, "src"))
    children = []
    try:
        children.append(subprocess.Popen(["Xvfb", display, "-screen", "0", f"{WIDTH}x{HEIGHT}x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        if not wait_for(lambda: subprocess.run(["xdpyinfo", "-display", display], capture_output=True).returncode == 0):
            sys.exit("Xvfb did not start")
        socket = os.path.join(work, "pulse.sock")
        env["PULSE_SERVER"] = "unix:" + socket
        children.append(subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
             f"--load=module-native-protocol-unix socket={socket} auth-anonymous=1",
             "--load=module-null-sink sink_name=tone rate=44100"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        if not wait_for(lambda: subprocess.run(["pactl", "set-default-source", "tone.monitor"], env=env,
                                               capture_output=True).returncode == 0):
            sys.exit("pulseaudio did not start")
        scene_process = subprocess.Popen([scene, "--fps", "60", "--pulse-server", env["PULSE_SERVER"],
                                          "--flash-every", "60"], env=env, stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL)
        children.append(scene_process)
        scene_process.stdout.readline()

        rows = []
        for microphone in (False, True):
            for name in ("tessarin", "ffmpeg"):
                movie = os.path.join(work, f"{name}-{'mic' if microphone else 'video'}.mov")
                if name == "tessarin":
                    argv = [tool, "record", "--area", f"0,0,{WIDTH},{HEIGHT}", "--seconds", str(args.seconds),
                            "--fps", str(FPS), "--out", movie] + (["--microphone"] if microphone else [])
                    out, wall, cpu, rss, _ = run_measured(argv, env)
                    report = json.loads(out.strip().splitlines()[-1])
                    first_ms = report.get("startToFirstFrameMs")
                    stop_ms = report.get("stopToFinishedMs")
                else:
                    argv = ["ffmpeg", "-hide_banner", "-y", "-f", "x11grab",
                            "-framerate", str(FPS), "-video_size", f"{WIDTH}x{HEIGHT}", "-draw_mouse", "1",
                            "-i", display + ".0+0,0"]
                    if microphone:
                        argv += ["-f", "pulse", "-i", "default"]
                    argv += ["-c:v", "libx264", "-preset", "ultrafast", "-b:v", str(BIT_RATE), "-pix_fmt", "yuv420p"]
                    if microphone:
                        argv += ["-c:a", "aac", "-b:a", "128k", "-ar", "44100", "-ac", "1"]
                    argv += [movie]
                    out, wall, cpu, rss, stop_ms = run_measured(argv, env, stop_after=args.seconds)
                    first_ms = None
                packets = video_packets(movie)
                duration = packets[-1] - packets[0] if len(packets) > 1 else 0
                missing = max(0, round(duration * FPS) + 1 - len(packets))
                repeats, backwards = repeated_frames(movie)
                rows.append({
                    "tool": name, "microphone": microphone, "frames": len(packets), "missing": missing,
                    "repeated": repeats, "backwards": backwards, "cpu%": 100 * cpu / wall, "rssMiB": rss,
                    "sizeMiB": os.path.getsize(movie) / 2**20, "firstFrameMs": first_ms, "stopMs": stop_ms,
                    "audioS": audio_duration(movie) if microphone else None, "videoS": duration,
                    "avMs": av_offset_ms(movie) if microphone else None,
                })

        movie, cpu, wall = record_with_chrome(build, env, work, args.seconds)
        packets = video_packets(movie)
        duration = packets[-1] - packets[0] if len(packets) > 1 else 0
        repeats, backwards = repeated_frames(movie)
        rows.append({
            "tool": "tessarin app (ring + panel shown, 1600x900)", "microphone": False, "frames": len(packets),
            "missing": max(0, round(duration * FPS) + 1 - len(packets)), "repeated": repeats, "backwards": backwards,
            "cpu%": 100 * cpu / wall, "rssMiB": None, "sizeMiB": os.path.getsize(movie) / 2**20, "firstFrameMs": None,
            "stopMs": None, "audioS": None, "videoS": duration, "avMs": None,
        })

        def cell(value, pattern):
            return "—" if value is None else pattern.format(value)

        print(f"\n{args.seconds:.0f} s of the moving scene at {WIDTH}x{HEIGHT}, {FPS} fps, {BIT_RATE} bit/s\n")
        print("| tool | mic | frames | missing | repeated | CPU % | peak RSS MiB | file MiB | first frame ms | stop→finished ms | video s | audio s | A/V offset ms |")
        print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
        for r in rows:
            print(f"| {r['tool']} | {'yes' if r['microphone'] else 'no'} | {r['frames']} | {r['missing']} | "
                  f"{r['repeated']} | {r['cpu%']:.1f} | {cell(r['rssMiB'], '{:.1f}')} | {r['sizeMiB']:.2f} | "
                  f"{cell(r['firstFrameMs'], '{:.0f}')} | {cell(r['stopMs'], '{:.0f}')} | {r['videoS']:.2f} | "
                  f"{cell(r['audioS'], '{:.2f}')} | {cell(r['avMs'], '{:+.0f}')} |")

        source = os.path.join(work, "tessarin-mic.mov")
        out, wall, cpu, rss, _ = run_measured([tool, "export", "--in", source, "--preset", "p720"], env)
        report = json.loads(out.strip().splitlines()[-1])
        ours = report.get("exportMs", wall * 1000) / 1000
        peer_out = os.path.join(work, "ffmpeg-720.mov")
        _, peer_wall, _, _, _ = run_measured(
            ["ffmpeg", "-hide_banner", "-y", "-i", source, "-vf", "scale=720:404", "-c:v", "libx264", "-preset",
             "veryfast", "-b:v", str(int(report.get("estimatedBytes", 0) * 8 / max(args.seconds, 1))),
             "-c:a", "aac", "-b:a", "96k", peer_out], env)
        print(f"\nExport {args.seconds:.0f} s 1080p → 720p: tessarin {ours:.2f} s ({args.seconds / ours:.1f}× real time, "
              f"{report.get('bytes', 0) / 2**20:.2f} MiB, estimate {report.get('estimatedBytes', 0) / 2**20:.2f} MiB); "
              f"ffmpeg -preset veryfast {peer_wall:.2f} s ({args.seconds / peer_wall:.1f}× real time)")
        editor_reading(tool, os.path.join(work, "tessarin-video.mov"), env, 40)
    finally:
        for child in reversed(children):
            child.send_signal(signal.SIGTERM)
            child.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
