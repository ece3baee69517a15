#!/usr/bin/python3
"""formats_peer.py DIR ROUNDS: OpenCV's side of the image-file benchmark.
Makes the 4096 x 4096 grey and colour test images (smooth shading with
noise, like a camera picture), writes DIR/in-TYPE-CASE.EXT with
cv2.imwrite for every case of the table, and prints one line per case
"save|load TYPE CASE MS" with the best of ROUNDS runs (processor time) of
cv2.imwrite / cv2.imread on one thread."""
import sys
import time

import cv2
import numpy as np

CASES = [  # name, extension, OpenCV parameters (the same settings as ours)
    ("png-level1", "png", [cv2.IMWRITE_PNG_COMPRESSION, 1]),
    ("png-level6", "png", [cv2.IMWRITE_PNG_COMPRESSION, 6]),
    ("tiff-none", "tif", [cv2.IMWRITE_TIFF_COMPRESSION, 1]),
    ("tiff-lzw", "tif", [cv2.IMWRITE_TIFF_COMPRESSION, 5]),
    ("jpeg-q95", "jpg", [cv2.IMWRITE_JPEG_QUALITY, 95]),
]


def images():
    rng = np.random.default_rng(4096)
    y, x = np.mgrid[0:4096, 0:4096].astype(np.float32)
    base = 128 + 60 * np.sin(x / 300) * np.cos(y / 200) + 40 * np.sin((x + y) / 97)
    grey = np.clip(base + rng.normal(0, 6, base.shape), 0, 255).astype(np.uint8)
    col = np.dstack([grey, np.clip(base[::-1] + rng.normal(0, 6, base.shape), 0, 255),
                     np.clip(255 - base, 0, 255)]).astype(np.uint8)
    return {"grey": grey, "col": cv2.cvtColor(col, cv2.COLOR_RGB2BGR)}


def best(fn, rounds):
    times = []
    for _ in range(rounds):
        t = time.process_time()   # the machine is shared: processor time
        fn()
        times.append(time.process_time() - t)
    return 1000 * min(times)


def main():
    folder, rounds = sys.argv[1], int(sys.argv[2])
    cv2.setNumThreads(1)
    for kind, img in images().items():
        for name, ext, params in CASES:
            path = "%s/in-%s-%s.%s" % (folder, kind, name, ext)
            out = "%s/cv-%s-%s.%s" % (folder, kind, name, ext)
            cv2.imwrite(path, img, params)
            print("save %s %s %.1f" % (kind, name, best(lambda: cv2.imwrite(out, img, params), rounds)))
            print("load %s %s %.1f" % (kind, name, best(lambda: cv2.imread(path, cv2.IMREAD_UNCHANGED), rounds)))
            sys.stdout.flush()


main()
