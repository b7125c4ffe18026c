#!/usr/bin/env python3
"""Times `tessarin capture-full` and `capture-region` in a headless Wayland
session, where they go through the desktop's Screenshot portal, against
`grim` and `grim -g` (the wlroots screenshot tool, which the portal itself
runs) on the same screen in the same run, and prints medians and ratios.

Each configuration gets its own session (tests/support/wayland-run.sh): one
output, or two outputs of scales 1 and 2. The screen shows a foot terminal
full of text beside a gradient background. Usage:

    bench/capture/wayland.py --tessarin build/src/tessarin [--runs 15] [--size 1920x1080]

Target: within 1.5x grim's time (the portal's round trip and its file are
the floor: the portal backend runs grim and hands over the PNG it wrote).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run import measure  # noqa: E402  (the X11 benchmark's turn-taking timer)

ROOT = os.path.dirname(os.path.dirname(HERE))
WAYLAND_RUN = os.path.join(ROOT, "tests", "support", "wayland-run.sh")


def report(title, results):
    print(f"\n{title}")
    print(f"{'tool':<12} {'median ms':>10} {'vs grim':>8} {'PNG bytes':>12} {'peak MiB':>9}")
    grim = next(r for r in results if r["name"] == "grim")
    floor = next(r for r in results if r["name"] == "grim-layout")
    for r in results:
        print(f"{r['name']:<12} {r['median'] * 1000:>10.1f} {r['median'] / grim['median']:>7.2f}x {r['size']:>12} "
              f"{r['peak'] / 2**20:>9.1f}")
    ours = next(r for r in results if r["name"] == "tessarin")
    print(f"tessarin takes {ours['median'] / grim['median']:.2f} of grim's time (target <= 1.50) and "
          f"{ours['median'] / floor['median']:.2f} of grim-layout's, the portal's own grim run")


def inside(args):
    """In the session: put content on the screen, then time the tools."""
    work = tempfile.mkdtemp(prefix="tessarin-wayland-bench-")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
    background = os.path.join(work, "background.png")
    width, height = (int(v) for v in args.size.split("x"))
    subprocess.run(["/usr/bin/convert", "-size", f"{width}x{height}", "gradient:#30506e-#a8c0d8", background],
                   check=True)
    subprocess.run([os.environ["WAYLAND_SESSION_SCRIPT"], "bg", background, "HEADLESS-1", "stretch"], check=True)
    terminal = subprocess.Popen(["foot", "sh", "-c", "ls -l /usr/bin | head -n 200; exec sleep 3600"], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    out = os.path.join(work, "out.png")
    x, y, w, h = 0, 0, 800, 600
    # grim-layout is what the portal's backend runs for every request: the
    # whole layout at the highest output scale, the floor of our time.
    layout = ["grim", out]
    full = {"tessarin": [args.tessarin, "capture-full", "--display", "0", "--out", out],
            "grim": ["grim", "-o", "HEADLESS-1", out], "grim-layout": layout}
    part = {"tessarin": [args.tessarin, "capture-region", "--display", "0", "--rect", f"{x},{y},{w},{h}",
                         "--out", out],
            "grim": ["grim", "-g", f"{x},{y} {w}x{h}", out], "grim-layout": layout}
    try:
        for title, table in ((f"capture-full, {args.label} ({args.runs} runs, medians)", full),
                             (f"capture-region {w}x{h}, {args.label}", part)):
            report(title, measure(table, out, env, args.runs))
    finally:
        terminal.terminate()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessarin", default="build/src/tessarin")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--size", default="1920x1080")
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--label", default="", help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.tessarin = os.path.abspath(args.tessarin)
    if args.inside:
        return inside(args)
    for tool in ("grim", "foot", "sway"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh")
    configurations = (
        (f"one output {args.size} at scale 1", ["--size", args.size]),
        (f"first of two outputs {args.size}, scales 1 and 2", ["--size", args.size, "--outputs", "2",
                                                                "--scales", "1 2"]),
    )
    for label, session in configurations:
        command = [WAYLAND_RUN, *session, "--timeout", "600", "--", sys.executable, os.path.abspath(__file__),
                   "--inside", "--tessarin", args.tessarin, "--runs", str(args.runs), "--size", args.size,
                   "--label", label]
        status = subprocess.run(command).returncode
        if status != 0:
            sys.exit(f"the Wayland session's benchmark failed ({status})")


if __name__ == "__main__":
    main()
