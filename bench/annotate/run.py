#!/usr/bin/env python3
"""Times `tessarin annotate` against ImageMagick `convert` drawing the same 20
shapes (five boxes, four arrows, three texts, four badges, a highlight, two
pixelate boxes and a 600x400 smooth blur) onto the same screenshot-like PNG,
at 1920x1080 and 3840x2160, and prints medians and ratios.

Both tools read the PNG, draw, and write a PNG; runs alternate so that any
drift in the machine's load touches both alike. Usage:

    bench/annotate/run.py --tessarin build/src/tessarin [--runs 11] [--sizes 1920x1080,3840x2160]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

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


def timed(command, **kwargs):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kwargs)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tessarin", required=True)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    args = parser.parse_args()
    tessarin = os.path.abspath(args.tessarin)
    rows = []
    with tempfile.TemporaryDirectory(prefix="tessarin-annotate-bench-") as work:
        for size in args.sizes.split(","):
            width, height = (int(v) for v in size.split("x"))
            source = os.path.join(work, f"in-{size}.png")
            make_input(source, width, height)
            spec = shapes(width, height)
            assert len(spec) == 20
            spec_path = os.path.join(work, f"spec-{size}.json")
            with open(spec_path, "w") as f:
                json.dump({"shapes": spec}, f)
            ours = [tessarin, "annotate", "--in", source, "--out", os.path.join(work, "t.png"), "--shapes", spec_path]
            theirs = convert_args(spec, source, os.path.join(work, "m.png"))
            timed(ours), timed(theirs)  # warm the page cache and font caches
            times = {"tessarin annotate": [], "ImageMagick convert": []}
            for _ in range(args.runs):
                times["tessarin annotate"].append(timed(ours))
                times["ImageMagick convert"].append(timed(theirs))
            base = statistics.median(times["tessarin annotate"])
            for tool, samples in times.items():
                median = statistics.median(samples)
                rows.append((size, tool, median * 1000, median / base))
    print(f"{'size':<11} {'tool':<22} {'median ms':>10} {'x tessarin':>11}")
    for size, tool, ms, ratio in rows:
        print(f"{size:<11} {tool:<22} {ms:>10.1f} {ratio:>11.2f}")
    print("target: tessarin at most 0.5x ImageMagick's median at every size")


if __name__ == "__main__":
    sys.exit(main())
