#!/usr/bin/env python3
"""Word accuracy and wall time of `tessarin capture-text --in` against the
plain `tesseract` command on the same screen-like images, in the same run.

Peers: `tesseract <png> - -l eng` and `-l chi_sim+chi_tra+eng`, each at its
default OpenMP threading and with OMP_THREAD_LIMIT=1. Usage:

    bench/ocr/run.py --tessarin build/src/tessarin [--runs 5] [--images folder]

Without --images the images are rendered by make_images.sh into a temporary
folder. Word accuracy is 1 - (word edit distance / words in the truth),
floored at 0; Han characters count as one word each, so Chinese is scored
per character. Line breaks and spacing are not scored.
"""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOKEN = re.compile(r"[\u3400-\u9fff\uf900-\ufaff]|[^\s\u3400-\u9fff\uf900-\ufaff]+")


def words(text):
    return TOKEN.findall(text)


def edit_distance(a, b):
    previous = list(range(len(b) + 1))
    for i, x in enumerate(a, 1):
        current = [i]
        for j, y in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (x != y)))
        previous = current
    return previous[-1]


def accuracy(truth, text):
    expected = words(truth)
    return max(0.0, 1.0 - edit_distance(expected, words(text)) / max(1, len(expected)))


def timed(command, env, runs):
    times, output = [], ""
    for _ in range(runs):
        start = time.perf_counter()
        result = subprocess.run(command, env=env, capture_output=True, text=True)
        times.append(time.perf_counter() - start)
        if result.returncode != 0:
            sys.exit(f"{' '.join(command)} failed: {result.stderr.strip()}")
        output = result.stdout
    return statistics.median(times), output


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tessarin", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--images")
    args = parser.parse_args()

    folder = args.images or tempfile.mkdtemp(prefix="tessarin-ocr-bench-")
    if not args.images:
        subprocess.run([os.path.join(HERE, "make_images.sh"), folder], check=True)
    names = sorted(f[:-4] for f in os.listdir(folder) if f.endswith(".png"))

    base = {k: v for k, v in os.environ.items() if k != "OMP_THREAD_LIMIT"}
    one = dict(base, OMP_THREAD_LIMIT="1")
    tools = [
        ("tessarin", lambda png: [args.tessarin, "capture-text", "--in", png], base,
         lambda out: json.loads(out)["text"]),
        ("eng/1", lambda png: ["tesseract", png, "-", "-l", "eng"], one, str),
        ("eng/omp", lambda png: ["tesseract", png, "-", "-l", "eng"], base, str),
        ("all/1", lambda png: ["tesseract", png, "-", "-l", "chi_sim+chi_tra+eng"], one, str),
        ("all/omp", lambda png: ["tesseract", png, "-", "-l", "chi_sim+chi_tra+eng"], base, str),
    ]

    names_of = [name for name, *_ in tools]
    print(f"word accuracy and median wall time of {args.runs} runs; ratios are tessarin's time over the peer's")
    print(f"{'image':20}" + "".join(f"{n:>9}" for n in names_of) + " |" + "".join(f"{n:>9}" for n in names_of)
          + " |" + "".join(f"{'/' + n:>9}" for n in names_of[1:]))
    accuracy_of = {n: {} for n in names_of}
    worst = {n: 0.0 for n in names_of[1:]}
    for name in names:
        png = os.path.join(folder, name + ".png")
        with open(os.path.join(folder, name + ".txt"), encoding="utf-8") as f:
            truth = f.read()
        times = {}
        for tool, command, env, text_of in tools:
            seconds, out = timed(command(png), env, args.runs)
            accuracy_of[tool][name] = accuracy(truth, text_of(out))
            times[tool] = seconds
        ratios = {n: times["tessarin"] / times[n] for n in names_of[1:]}
        for n in ratios:
            worst[n] = max(worst[n], ratios[n])
        print(f"{name:20}" + "".join(f"{accuracy_of[n][name] * 100:8.1f}%" for n in names_of) + " |"
              + "".join(f"{times[n] * 1000:7.0f}ms" for n in names_of) + " |"
              + "".join(f"{ratios[n]:9.2f}" for n in names_of[1:]))

    def mean_over(tool, chosen):
        return statistics.mean(accuracy_of[tool][n] for n in chosen) * 100

    english = [n for n in names if "zh" not in n]
    print(f"{'mean, all':20}" + "".join(f"{mean_over(n, names):8.1f}%" for n in names_of))
    print(f"{'mean, English':20}" + "".join(f"{mean_over(n, english):8.1f}%" for n in names_of))
    print(f"{'worst time ratio':20}" + " " * 9 * len(names_of) + " |" + " " * 9 * len(names_of) + " |"
          + "".join(f"{worst[n]:9.2f}" for n in names_of[1:]))
    behind = [n for n in names if any(accuracy_of[t][n] > accuracy_of["tessarin"][n] for t in names_of[1:])]
    print("images where a peer reads more words:", ", ".join(behind) if behind else "none")


if __name__ == "__main__":
    main()
