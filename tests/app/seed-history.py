#!/usr/bin/python3
"""Writes a capture history for the application to open: an index and, per
item, a full-resolution PNG and a JPEG thumbnail, all made by ImageMagick.

    seed-history.py HISTORY_FOLDER ITEM...

Each ITEM is MODE[:FLAGS], MODE one of Area, "Full Screen", Window,
Scrolling, FLAGS letters a (annotated) and p (pinned); or "N*MODE" for N
plain items. Items are listed newest first, in the order given. Prints one
line per item: its id. A pinned item gets its pin too (the Pins folder
beside the history), small in the bottom-left corner: at launch the
history keeps only the pins that exist.
"""
import json
import os
import shutil
import subprocess
import sys
import time
import uuid

REFERENCE = 978307200  # 2001-01-01 in Unix seconds


def make_pictures(folder):
    """One PNG and one JPEG, copied for every item (names differ, bytes need not)."""
    png = os.path.join(folder, "seed.png")
    jpg = os.path.join(folder, "seed.jpg")
    subprocess.run(["convert", "-size", "800x600", "plasma:steelblue-orange", "-seed", "7", png], check=True)
    subprocess.run(["convert", png, "-resize", "440x330", "-quality", "70", jpg], check=True)
    return png, jpg


def expand(arguments):
    for argument in arguments:
        if "*" in argument:
            count, mode = argument.split("*", 1)
            for _ in range(int(count)):
                yield mode, ""
        else:
            mode, _, flags = argument.partition(":")
            yield mode, flags


def main():
    folder, items = sys.argv[1], list(expand(sys.argv[2:]))
    images = os.path.join(folder, "images")
    thumbnails = os.path.join(folder, "thumbnails")
    os.makedirs(images, exist_ok=True)
    os.makedirs(thumbnails, exist_ok=True)
    png, jpg = make_pictures(folder)
    now = time.time() - REFERENCE
    index = []
    pins = []
    pin_images = os.path.join(os.path.dirname(os.path.abspath(folder)), "Pins", "images")
    for number, (mode, flags) in enumerate(items):
        item_id = str(uuid.uuid4()).upper()
        shutil.copyfile(png, os.path.join(images, item_id + ".png"))
        shutil.copyfile(jpg, os.path.join(thumbnails, item_id + ".jpg"))
        index.append({
            "id": item_id, "captureID": "SEED%04d" % number, "createdAt": now - number,
            "imageFilename": item_id + ".png", "pixelWidth": 800, "pixelHeight": 600, "sourceMode": mode,
            "isPinned": "p" in flags, "isAnnotated": "a" in flags, "isQuickAccess": False,
        })
        if "p" in flags:
            os.makedirs(pin_images, exist_ok=True)
            shutil.copyfile(png, os.path.join(pin_images, item_id + ".png"))
            pins.append({"id": item_id, "x": 160 * len(pins), "y": 0, "width": 160, "height": 120})
        print(item_id)
    os.remove(png)
    os.remove(jpg)
    with open(os.path.join(folder, "index.json"), "w") as out:
        json.dump({"items": index}, out)
    if pins:
        with open(os.path.join(os.path.dirname(pin_images), "index.json"), "w") as out:
            json.dump({"pins": pins, "recentlyClosed": []}, out)


if __name__ == "__main__":
    main()
