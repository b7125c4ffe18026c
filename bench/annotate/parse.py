#!/usr/bin/env python3
"""Times how `tessarin annotate` reads a large shape spec, against `jq` and
Python's json module reading the same file, at 1, 2, 4, 8 and 16 MiB (the
spec's size cap), and prints the seconds and the seconds per MiB of each.

Two documents per size: a flat list of empty shapes, {"shapes":[{},{},...]}
(the whole document is parsed, then the first shape is refused for having no
type, so nothing is drawn), and a list of valid boxes, all drawn onto an 8x8
image. Time per MiB that stays flat as the size doubles means parsing is
linear. Usage:

    bench/annotate/parse.py --tessarin build/src/tessarin [--runs 3]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20
SIZES = [1, 2, 4, 8, 16]


def make_spec(path, mib, shape):
    budget = mib * MIB - len('{"shapes":[]}') - 1
    count = budget // (len(shape) + 1)
    with open(path, "w") as f:
        f.write('{"shapes":[' + ",".join([shape] * count) + "]}")
    return count


def timed(args, runs, expect_status=None):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        done = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        times.append(time.perf_counter() - start)
        if expect_status is not None and done.returncode != expect_status:
            sys.exit(f"{args[0]} exited {done.returncode}: {done.stderr.decode()[:200]}")
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessarin", required=True)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    peers = [("jq", ["jq", "empty"])] if shutil.which("jq") else []
    peers.append(("python json", [sys.executable, "-c", "import json,sys; json.load(open(sys.argv[1]))"]))

    with tempfile.TemporaryDirectory() as folder:
        image = os.path.join(folder, "in.png")
        subprocess.run(["convert", "-size", "8x8", "xc:white", image], check=True)
        out = os.path.join(folder, "out.png")
        env_home = {"HOME": folder, "XDG_CONFIG_HOME": folder}
        os.environ.update(env_home)
        for label, shape, status in (
                ("empty shapes {}", "{}", 1),
                ("boxes", '{"type":"box","x":1,"y":1,"w":4,"h":4,"color":"#FF0000"}', 0)):
            print(f"\n{label}")
            header = f"{'size':>6} {'shapes':>9}  {'tessarin s':>10} {'s/MiB':>6}"
            for name, _ in peers:
                header += f"  {name + ' s':>13} {'s/MiB':>6}"
            print(header)
            for mib in SIZES:
                spec = os.path.join(folder, f"spec-{mib}.json")
                count = make_spec(spec, mib, shape)
                ours = timed([options.tessarin, "annotate", "--in", image, "--out", out, "--shapes", spec],
                             options.runs, status)
                line = f"{mib:>4}Mi {count:>9}  {ours:>10.3f} {ours / mib:>6.3f}"
                for _, command in peers:
                    theirs = timed(command + [spec], options.runs, 0)
                    line += f"  {theirs:>13.3f} {theirs / mib:>6.3f}"
                print(line, flush=True)


if __name__ == "__main__":
    main()
