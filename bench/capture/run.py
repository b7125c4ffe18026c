#!/usr/bin/env python3
"""Times `tessarin capture-full` and `capture-region` against scrot, maim and
ImageMagick `import` on the same Xvfb screen, at 1920x1080 and 3840x2160, and
prints medians, ratios, PNG sizes and peak memory.

Every tool captures the same content in the same run: a gradient background,
terminals full of text, and a few X clients. Usage:

    bench/capture/run.py --tessarin build/src/tessarin [--runs 15] [--sizes 1920x1080,3840x2160]

The tools take turns run by run (forwards, then backwards), so a slow spell
of the machine does not fall on one tool's block of runs.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def wait_for_server(display, proc):
    for _ in range(200):
        if proc.poll() is not None:
            sys.exit(f"X server {display} exited during start-up")
        if subprocess.run(["xdpyinfo", "-display", display], capture_output=True).returncode == 0:
            return
        time.sleep(0.05)
    sys.exit(f"X server {display} did not answer")


def free_display_number(start=60):
    n = start
    while os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
        n += 1
    return n


class Screen:
    """An Xvfb of one size with reproducible content."""

    def __init__(self, width, height, workdir):
        self.width, self.height = width, height
        self.display = f":{free_display_number()}"
        self.procs = []
        self.env = dict(os.environ, DISPLAY=self.display)
        self.server = subprocess.Popen(
            ["Xvfb", self.display, "-screen", "0", f"{width}x{height}x24", "-noreset", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for_server(self.display, self.server)
        background = os.path.join(workdir, f"background-{width}x{height}.png")
        subprocess.run(["convert", "-size", f"{width}x{height}", "gradient:#30506e-#a8c0d8", background], check=True)
        # display sets the background and then exits 1 under Xvfb; the content is checked by eye once.
        subprocess.run(["display", "-window", "root", background], env=self.env)
        # Terminals full of text cover about half the screen, as on a working desktop.
        columns = max(1, width // 500)
        rows = max(1, height // 420)
        for r in range(rows):
            for c in range(columns):
                if (r + c) % 2:
                    continue
                self.spawn(["xterm", "-geometry", f"80x30+{c * 500 + 10}+{r * 420 + 10}", "-e", "sh", "-c",
                            f"ls -l /usr/bin | tail -n +{1 + 37 * (r * columns + c)}; sleep 3600"])
        self.spawn(["xlogo", "-geometry", f"300x300+{width - 340}+{height - 340}"])
        self.spawn(["xclock", "-geometry", f"200x200+{width // 2}+{height // 3}"])
        self.spawn(["xeyes", "-geometry", f"250x160+{width // 3}+{height - 220}"])
        time.sleep(1.5)

    def spawn(self, argv):
        self.procs.append(subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def close(self):
        for p in self.procs + [self.server]:
            p.terminate()
        for p in self.procs + [self.server]:
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()


def timed_run(argv, env):
    """Wall time in seconds and peak resident memory in bytes of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)} failed: {err}")
    return elapsed, usage.ru_maxrss * 1024


def measure(table, out, env, runs):
    """Runs every tool of `table` `runs` times, taking turns run by run so a
    slow spell of the machine falls on all of them alike."""
    names = list(table)
    for name in names:
        timed_run(table[name], env)  # warm the page cache and the server
    times = {name: [] for name in names}
    peaks = {name: 0 for name in names}
    sizes = {}
    for run in range(runs):
        for name in (names if run % 2 == 0 else reversed(names)):
            if os.path.exists(out):
                os.remove(out)
            t, peak = timed_run(table[name], env)
            times[name].append(t)
            peaks[name] = max(peaks[name], peak)
            sizes[name] = os.path.getsize(out)
    return [{"name": name, "median": statistics.median(times[name]), "peak": peaks[name], "size": sizes[name]}
            for name in names]


def tools(tessarin, out, region):
    x, y, w, h = region
    full = {
        "tessarin": [tessarin, "capture-full", "--out", out],
        "scrot": ["scrot", "-o", out],
        "maim": ["maim", "-u", out],
        "import": ["import", "-silent", "-window", "root", out],
    }
    part = {
        "tessarin": [tessarin, "capture-region", "--rect", f"{x},{y},{w},{h}", "--out", out],
        "scrot": ["scrot", "-o", "-a", f"{x},{y},{w},{h}", out],
        "maim": ["maim", "-u", "-g", f"{w}x{h}+{x}+{y}", out],
        "import": ["import", "-silent", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", out],
    }
    return full, part


def report(title, results, raw_bytes):
    print(f"\n{title}")
    print(f"{'tool':<10} {'median ms':>10} {'vs tessarin':>12} {'PNG bytes':>12} {'size vs maim':>13} {'peak MiB':>9}")
    ours = next(r for r in results if r["name"] == "tessarin")
    maim = next((r for r in results if r["name"] == "maim"), None)
    for r in results:
        ratio = r["median"] / ours["median"]
        size_ratio = f"{r['size'] / maim['size']:.2f}" if maim else "-"
        print(f"{r['name']:<10} {r['median'] * 1000:>10.1f} {ratio:>11.2f}x {r['size']:>12} {size_ratio:>13} "
              f"{r['peak'] / 2**20:>9.1f}")
    peers = [r for r in results if r["name"] != "tessarin"]
    fastest = min(peers, key=lambda r: r["median"])
    budget = 2 * raw_bytes + 16 * 2**20
    size_note = f"PNG {ours['size'] / maim['size']:.2f} of maim's (target <= 1.10); " if maim else ""
    print(f"fastest peer: {fastest['name']}; tessarin takes {ours['median'] / fastest['median']:.2f} of its time "
          f"(target <= 0.50); {size_note}"
          f"peak {ours['peak'] / 2**20:.1f} MiB of a {budget / 2**20:.1f} MiB budget")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessarin", default="build/src/tessarin")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    parser.add_argument("--tools", default="tessarin,scrot,maim,import")
    args = parser.parse_args()
    tessarin = os.path.abspath(args.tessarin)
    wanted = set(args.tools.split(","))
    for tool in wanted - {"tessarin"}:
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --bench")

    with tempfile.TemporaryDirectory(prefix="tessarin-bench-") as work:
        for size in args.sizes.split(","):
            width, height = (int(v) for v in size.split("x"))
            screen = Screen(width, height, work)
            try:
                env = dict(screen.env, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
                out = os.path.join(work, "out.png")
                full, part = tools(tessarin, out, (0, 0, 800, 600))
                for title, table, raw in (
                        (f"capture-full {width}x{height} ({args.runs} runs, medians)", full, width * height * 4),
                        (f"capture-region 800x600 on {width}x{height}", part, 800 * 600 * 4)):
                    results = measure({name: argv for name, argv in table.items() if name in wanted}, out, env,
                                      args.runs)
                    report(title, results, raw)
            finally:
                screen.close()


if __name__ == "__main__":
    main()
