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

        def cell(value, pattern):
            return "—" if value is None else pattern.format(value)

        print(f"\n{args.seconds:.0f} s of the moving scene at {WIDTH}x{HEIGHT}, {FPS} fps, {BIT_RATE} bit/s\n")
        print("| tool | mic | frames | missing | repeated | CPU % | peak RSS MiB | file MiB | first frame ms | stop→finished ms | video s | audio s | A/V offset ms |")
        print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
        for r in rows:
            print(f"| {r['tool']} | {'yes' if r['microphone'] else 'no'} | {r['frames']} | {r['missing']} | "
                  f"{r['repeated']} | {r['cpu%']:.1f} | {r['rssMiB']:.1f} | {r['sizeMiB']:.2f} | "
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
    finally:
        for child in reversed(children):
            child.send_signal(signal.SIGTERM)
            child.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
