#!/usr/bin/env python3
"""Accuracy and wall time of `tessarin capture-text --in` against the plain
`tesseract` command on the same screen-like images, in the same run.

Two sets of images: screen-like text rendered with Pango (make_images.sh)
and the terminal corpus, screens of a real xterm in three fonts
(make_terminal_images.sh, tests/ocr/terminal).

Peers: `tesseract <png> - -l eng` and `-l chi_sim+chi_tra+eng`, each at its
default OpenMP threading and with OMP_THREAD_LIMIT=1. Usage:

    bench/ocr/run.py --tessarin build/src/tessarin [--runs 5] [--images folder] [--only pattern]
                     [--before folder-with-an-older-libtessarin-ocr.so]

--before adds a column "before": the same executable with the engine module
of another build (TESSARIN_MODULE_DIR), to compare a change's accuracy and
time with what it changes.

Without --images the images are rendered into a temporary folder.

Scores, each 1 - edit distance / length of the truth, floored at 0:
  words   tokens split on white space; Han characters count as one word
          each, so Chinese is scored per character.
  tokens  exact tokens split on white space, nothing normalised (terminal
          corpus: one wrong colon makes a token wrong).
  chars   characters other than white space.
Line breaks and spacing are not scored.
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
HAN = re.compile(r"[\u3400-\u9fff\uf900-\ufaff]")
WORD = re.compile(r"[\u3400-\u9fff\uf900-\ufaff]|[^\s\u3400-\u9fff\uf900-\ufaff]+")


def edit_distance(a, b):
    previous = list(range(len(b) + 1))
    for i, x in enumerate(a, 1):
        current = [i]
        for j, y in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (x != y)))
        previous = current
    return previous[-1]


def score(expected, actual):
    return max(0.0, 1.0 - edit_distance(expected, actual) / max(1, len(expected)))


def scores(truth, text):
    return {
        "words": score(WORD.findall(truth), WORD.findall(text)),
        "tokens": score(truth.split(), text.split()),
        "chars": score("".join(truth.split()), "".join(text.split())),
    }


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
    parser.add_argument("--only", default="", help="only images whose name holds this")
    parser.add_argument("--show", action="store_true", help="print tessarin's text of each image")
    parser.add_argument("--before", help="folder holding the engine module of another build")
    args = parser.parse_args()

    folder = args.images or tempfile.mkdtemp(prefix="tessarin-ocr-bench-")
    if not args.images:
        subprocess.run([os.path.join(HERE, "make_images.sh"), folder], check=True)
        subprocess.run([os.path.join(HERE, "make_terminal_images.sh"), args.tessarin, folder], check=True)
    names = sorted(f[:-4] for f in os.listdir(folder) if f.endswith(".png") and args.only in f)

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
    if args.before:
        tools.insert(1, ("before", lambda png: [args.tessarin, "capture-text", "--in", png],
                         dict(base, TESSARIN_MODULE_DIR=args.before), lambda out: json.loads(out)["text"]))
    tool_names = [name for name, *_ in tools]
    peers = tool_names[1:]

    def header(title):
        return (f"{title:24}" + "".join(f"{n:>9}" for n in tool_names) + " |" + "".join(f"{n:>9}" for n in tool_names)
                + " |" + "".join(f"{'/' + n:>9}" for n in peers))

    print(f"median wall time of {args.runs} runs; ratios are tessarin's time over the peer's")
    results = {}  # name -> tool -> (scores, seconds)
    han_in_latin = []
    for name in names:
        png = os.path.join(folder, name + ".png")
        with open(os.path.join(folder, name + ".txt"), encoding="utf-8") as f:
            truth = f.read()
        results[name] = {}
        for tool, command, env, text_of in tools:
            seconds, out = timed(command(png), env, args.runs)
            text = text_of(out)
            results[name][tool] = (scores(truth, text), seconds)
            if tool == "tessarin":
                if args.show:
                    print(f"--- {name}\n{text}")
                if not HAN.search(truth) and HAN.search(text):
                    han_in_latin.append(name)

    def table(title, chosen, metric):
        if not chosen:
            return
        print()
        print(header(f"{title}: {metric}"))
        for name in chosen:
            row = results[name]
            print(f"{name:24}" + "".join(f"{row[n][0][metric] * 100:8.1f}%" for n in tool_names) + " |"
                  + "".join(f"{row[n][1] * 1000:7.0f}ms" for n in tool_names) + " |"
                  + "".join(f"{row['tessarin'][1] / row[n][1]:9.2f}" for n in peers))
        for label, group in groups_of(chosen):
            print(f"{'mean, ' + label:24}" + "".join(
                f"{statistics.mean(results[n][t][0][metric] for n in group) * 100:8.1f}%" for t in tool_names) + " |"
                + "".join(f"{statistics.mean(results[n][t][1] for n in group) * 1000:7.0f}ms" for t in tool_names))
        behind = [n for n in chosen if any(results[n][t][0][metric] > results[n]["tessarin"][0][metric] for t in peers)]
        print(f"images where a peer scores higher ({metric}):", ", ".join(behind) if behind else "none")

    def groups_of(chosen):
        groups = [("all", chosen)]
        for font in ("fixed", "9x15", "dejavu"):
            group = [n for n in chosen if n.startswith(f"xterm-{font}-")]
            if group:
                groups.append((f"xterm {font}", group))
        return groups

    terminal = [n for n in names if n.startswith("xterm-")]
    screen = [n for n in names if n not in terminal]
    table("screen text", screen, "words")
    table("terminal", terminal, "tokens")
    table("terminal", terminal, "chars")
    print()
    print("Han characters in the text of an all-Latin image:", ", ".join(han_in_latin) if han_in_latin else "none")


if __name__ == "__main__":
    main()
