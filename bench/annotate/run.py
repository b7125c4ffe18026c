#!/usr/bin/env python3
"""Times `tessarin annotate` against ImageMagick `convert` drawing the same 20
shapes (five boxes, four arrows, three texts, four badges, a highlight, two
pixelate boxes and a 600x400 smooth blur) onto the same screenshot-like PNG,
at 1920x1080 and 3840x2160, and on a 1920x60000 scrolling capture (the 1080p
screenshot stacked), and prints medians, ratios and peak memory.

Both tools read the PNG, draw, and write a PNG; runs alternate so that any
drift in the machine's load touches both alike. ImageMagick's default policy
refuses images over 16K pixels a side, so for the tall image it runs under a
policy that allows it. Usage:

    bench/annotate/run.py --tessarin build/src/tessarin [--runs 11] [--sizes 1920x1080,3840x2160]
                          [--tall 1920x60000] [--tall-runs 3]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

RED, BLUE, GREEN, YELLOW = "#FF3B30", "#007AFF", "#34C759", "#FFCC00"


def make_input(path, width, height):
    """A gradient desktop with windows of text, like a screenshot."""
    draw = ["convert", "-size", f"{width}x{height}", "gradient:#30506e-#a8c0d8",
            "-font", "DejaVu-Sans", "-pointsize", str(max(12, height // 80))]
    line_height = max(16, height // 60)
    for wx, wy in ((0.05, 0.08), (0.55, 0.12), (0.1, 0.55), (0.6, 0.6)):
        x0, y0 = int(wx * width), int(wy * height)
        x1, y1 = x0 + int(0.38 * width), y0 + int(0.35 * height)
        draw += ["-fill", "#f4f4f4", "-stroke", "#404040", "-draw", f"rectangle {x0},{y0} {x1},{y1}",
                 "-stroke", "none", "-fill", "#202020"]
        for i in range(1, (y1 - y0) // line_height):
            draw += ["-draw", f"text {x0 + 10},{y0 + i * line_height} 'build step {i}: compiling module_{i * 7} ok'"]
    subprocess.run(draw + [path], check=True)


def shapes(width, height):
    """The 20 shapes, placed by fractions of the image so both sizes look alike."""
    def px(fx, fy):
        return int(fx * width), int(fy * height)
    spec = []
    for i in range(5):
        x, y = px(0.05 + 0.18 * i, 0.05)
        spec.append({"type": "box", "x": x, "y": y, "w": int(0.12 * width), "h": int(0.1 * height), "color": RED})
    for i in range(4):
        (fx, fy), (tx, ty) = px(0.1 + 0.2 * i, 0.45), px(0.18 + 0.2 * i, 0.3)
        spec.append({"type": "arrow", "from": [fx, fy], "to": [tx, ty], "color": BLUE, "lineWidth": 4})
    for i in range(3):
        x, y = px(0.05 + 0.3 * i, 0.5)
        spec.append({"type": "text", "x": x, "y": y, "text": f"Step {i + 1}: check this", "fontSize": 28,
                     "color": "#000000"})
    for i in range(4):
        x, y = px(0.1 + 0.2 * i, 0.6)
        spec.append({"type": "number", "x": x, "y": y, "n": i + 1, "color": RED})
    x, y = px(0.05, 0.7)
    spec.append({"type": "highlight", "x": x, "y": y, "w": int(0.4 * width), "h": int(0.04 * height), "color": YELLOW})
    for i in range(2):
        x, y = px(0.55 + 0.2 * i, 0.7)
        spec.append({"type": "blur", "x": x, "y": y, "w": int(0.15 * width), "h": int(0.1 * height),
                     "style": "pixelate"})
    x, y = px(0.3, 0.78)
    spec.append({"type": "blur", "x": x, "y": y, "w": 600, "h": 400 if height > 1080 else 200,
                 "style": "smoothBlur"})
    return spec


def convert_args(spec, source, out):
    """The same drawing as ImageMagick primitives. Mosaics read the source
    first, as tessarin's do, then the shapes are drawn in order."""
    args = ["convert", source]
    for s in spec:
        if s["type"] != "blur":
            continue
        geometry = f"{s['w']}x{s['h']}+{s['x']}+{s['y']}"
        if s["style"] == "pixelate":
            # Blocks of 12: shrink by 12, enlarge back without smoothing.
            small = f"{max(1, s['w'] // 12)}x{max(1, s['h'] // 12)}!"
            args += ["(", "+clone", "-crop", geometry, "+repage", "-scale", small, "-scale", f"{s['w']}x{s['h']}!",
                     ")", "-geometry", f"+{s['x']}+{s['y']}", "-composite"]
        else:
            args += ["-region", geometry, "-blur", "0x12", "+region"]
    args += ["-font", "DejaVu-Sans"]
    for s in spec:
        t = s["type"]
        if t == "box":
            args += ["-fill", "none", "-stroke", s["color"], "-strokewidth", "3", "-draw",
                     f"rectangle {s['x']},{s['y']} {s['x'] + s['w']},{s['y'] + s['h']}"]
        elif t == "arrow":
            (x0, y0), (x1, y1) = s["from"], s["to"]
            import math
            theta = math.atan2(y1 - y0, x1 - x0)
            h = min(20, math.hypot(x1 - x0, y1 - y0))
            bx, by = x1 - h * math.cos(theta), y1 - h * math.sin(theta)
            wings = [(x1 - h * math.cos(theta + d), y1 - h * math.sin(theta + d)) for d in (-math.pi / 6, math.pi / 6)]
            args += ["-fill", "none", "-stroke", s["color"], "-strokewidth", "4", "-draw",
                     f"line {x0},{y0} {bx:.1f},{by:.1f}", "-fill", s["color"], "-stroke", "none", "-draw",
                     "polygon " + " ".join(f"{x:.1f},{y:.1f}" for x, y in [(x1, y1)] + wings)]
        elif t == "text":
            args += ["-fill", s["color"], "-stroke", "none", "-pointsize", "28", "-draw",
                     f"text {s['x']},{s['y'] + 28} '{s['text']}'"]
        elif t == "number":
            x, y = s["x"], s["y"]
            args += ["-fill", s["color"], "-stroke", "none", "-draw", f"circle {x},{y} {x + 18},{y}",
                     "-fill", "white", "-pointsize", "19", "-draw", f"text {x - 6},{y + 7} '{s['n']}'"]
        elif t == "highlight":
            args += ["-fill", "rgba(255,204,0,0.35)", "-stroke", "none", "-draw",
                     f"rectangle {s['x']},{s['y']} {s['x'] + s['w']},{s['y'] + s['h']}"]
    return args + [out]


PERMISSIVE_POLICY = """<policymap>
  <policy domain="resource" name="width" value="1MP"/>
  <policy domain="resource" name="height" value="1MP"/>
  <policy domain="resource" name="area" value="1GP"/>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="16GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
"""


def measured(command, env=None):
    """Wall time in seconds and peak resident memory in bytes of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if process.returncode != 0:
        raise RuntimeError(f"{command[0]} failed ({process.returncode}): {error.strip()[:300]}")
    return elapsed, usage.ru_maxrss * 1024


def stacked_png(source, path, width, height):
    """A tall PNG made of `source` (a PNG `width` pixels wide) repeated down
    the page, as a long scrolling capture of similar content looks."""
    raw = subprocess.run(["convert", source, "-depth", "8", "rgba:-"], check=True, stdout=subprocess.PIPE).stdout
    stride = width * 4
    rows = len(raw) // stride
    compressor = zlib.compressobj(3)
    with open(path, "wb") as f:
        def chunk(kind, data):
            f.write(len(data).to_bytes(4, "big") + kind + data)
            f.write((zlib.crc32(kind + data) & 0xFFFFFFFF).to_bytes(4, "big"))
        f.write(b"\x89PNG\r\n\x1a\n")
        chunk(b"IHDR", width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 6, 0, 0, 0]))
        for y in range(height):
            start = (y % rows) * stride
            data = compressor.compress(b"\x00" + raw[start:start + stride])
            if data:
                chunk(b"IDAT", data)
        chunk(b"IDAT", compressor.flush())
        chunk(b"IEND", b"")


def compare(label, ours, theirs, runs, rows, theirs_env=None):
    """Alternates the two tools `runs` times after one warming run each."""
    measured(ours), measured(theirs, env=theirs_env)  # warm the page cache and font caches
    samples = {"tessarin annotate": [], "ImageMagick convert": []}
    for _ in range(runs):
        samples["tessarin annotate"].append(measured(ours))
        samples["ImageMagick convert"].append(measured(theirs, env=theirs_env))
    base = statistics.median(t for t, _ in samples["tessarin annotate"])
    for tool, runs_of_tool in samples.items():
        median = statistics.median(t for t, _ in runs_of_tool)
        peak = max(m for _, m in runs_of_tool)
        rows.append((label, tool, median * 1000, median / base, peak))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tessarin", required=True)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    parser.add_argument("--tall", default="1920x60000", help="the tall image's size, or '' to skip it")
    parser.add_argument("--tall-runs", type=int, default=3)
    args = parser.parse_args()
    tessarin = os.path.abspath(args.tessarin)
    rows = []
    tall_bytes = None
    with tempfile.TemporaryDirectory(prefix="tessarin-annotate-bench-") as work:
        def case(width, height, source, runs, theirs_env=None):
            spec = shapes(width, height)
            assert len(spec) == 20
            size = f"{width}x{height}"
            spec_path = os.path.join(work, f"spec-{size}.json")
            with open(spec_path, "w") as f:
                json.dump({"shapes": spec}, f)
            ours = [tessarin, "annotate", "--in", source, "--out", os.path.join(work, "t.png"), "--shapes", spec_path]
            theirs = convert_args(spec, source, os.path.join(work, "m.png"))
            compare(size, ours, theirs, runs, rows, theirs_env)

        for size in args.sizes.split(","):
            width, height = (int(v) for v in size.split("x"))
            source = os.path.join(work, f"in-{size}.png")
            make_input(source, width, height)
            case(width, height, source, args.runs)
        if args.tall:
            width, height = (int(v) for v in args.tall.split("x"))
            screen = os.path.join(work, f"screen-{width}.png")
            make_input(screen, width, 1080)
            source = os.path.join(work, f"in-{args.tall}.png")
            stacked_png(screen, source, width, height)
            policy = os.path.join(work, "policy")
            os.makedirs(policy)
            with open(os.path.join(policy, "policy.xml"), "w") as f:
                f.write(PERMISSIVE_POLICY)
            case(width, height, source, args.tall_runs, dict(os.environ, MAGICK_CONFIGURE_PATH=policy))
            tall_bytes = width * height * 4
    print(f"{'size':<11} {'tool':<22} {'median ms':>10} {'x tessarin':>11} {'peak MiB':>9}")
    for size, tool, ms, ratio, peak in rows:
        print(f"{size:<11} {tool:<22} {ms:>10.1f} {ratio:>11.2f} {peak / 2**20:>9.1f}")
    for size in dict.fromkeys(size for size, *_ in rows):
        medians = {tool: ms for s, tool, ms, _, _ in rows if s == size}
        ratio = medians["tessarin annotate"] / medians["ImageMagick convert"]
        print(f"{size}: tessarin / ImageMagick = {ratio:.2f}" + ("" if size == args.tall else " (target <= 0.5)"))
    if tall_bytes:
        ours_peak = max(peak for size, tool, _, _, peak in rows if size == args.tall and tool == "tessarin annotate")
        limit = tall_bytes + 64 * 2**20
        print(f"{args.tall}: image {tall_bytes / 2**20:.1f} MiB, tessarin's peak {ours_peak / 2**20:.1f} MiB, "
              f"limit (image + 64 MiB) {limit / 2**20:.1f} MiB: {'within' if ours_peak <= limit else 'OVER'}")


if __name__ == "__main__":
    sys.exit(main())
