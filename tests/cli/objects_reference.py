#!/usr/bin/python3
"""Test images with separated objects, and the object measurements that
examples/measure-objects.lsp must write for them, computed here with numpy
and scipy alone.

  objects_reference.py generate DIR COUNT SEED   writes COUNT .pgm files
  objects_reference.py check CSV FILE...         compares CSV with FILE...
"""
import csv
import os
import sys

import numpy as np
from scipy import ndimage

THRESHOLD = 128
HEADER = ["image", "label", "area", "x", "y", "left", "top", "width", "height",
          "volume", "min", "max"]


def make_image(rng, index):
    """Background below the threshold; objects at and above it, each inside
    its own cell of a grid and one pixel short of the cell's right and bottom
    side, so no two objects touch, not even diagonally. Objects in the first
    row and column touch the image border."""
    h, w = int(rng.integers(20, 121)), int(rng.integers(20, 161))
    img = rng.integers(0, THRESHOLD, size=(h, w), dtype=np.uint8)
    if index == 0:
        return img                      # no object at all
    cell = int(rng.integers(8, 25))
    for top in range(0, h - 2, cell):
        for left in range(0, w - 2, cell):
            if rng.random() < 0.35:
                continue
            bottom, right = min(top + cell, h) - 1, min(left + cell, w) - 1
            mask = np.zeros((bottom - top, right - left), bool)
            kind = rng.integers(3)
            if kind == 0:               # a rectangle
                y0, x0 = rng.integers(0, mask.shape[0]), rng.integers(0, mask.shape[1])
                mask[y0:, x0:][:int(rng.integers(1, mask.shape[0] + 1)),
                               :int(rng.integers(1, mask.shape[1] + 1))] = True
            elif kind == 1:             # a disc, cut by the cell
                yy, xx = np.mgrid[:mask.shape[0], :mask.shape[1]]
                cy, cx = rng.integers(0, mask.shape[0]), rng.integers(0, mask.shape[1])
                mask = (yy - cy) ** 2 + (xx - cx) ** 2 <= rng.integers(0, 40)
            else:                       # a diagonal line: 8-connected only
                n = min(mask.shape)
                mask[np.arange(n), np.arange(n)] = True
            values = rng.integers(THRESHOLD, 256, size=mask.shape, dtype=np.uint8)
            img[top:bottom, left:right][mask] = values[mask]
    return img


def generate(folder, count, seed):
    rng = np.random.default_rng(seed)
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        img = make_image(rng, i)
        # a few names with blanks and quotes, as users' folders have them
        name = f'odd name "{i:03d}".pgm' if i % 50 == 7 else f"img{i:03d}.pgm"
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"P5\n%d %d\n255\n" % (img.shape[1], img.shape[0]) + img.tobytes())


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    # the header as generate() writes it: three lines
    end = data.index(b"\n", data.index(b"\n", data.index(b"\n") + 1) + 1) + 1
    magic, w, h, maxval = data[:end].split()
    assert magic == b"P5" and maxval == b"255"
    return np.frombuffer(data[end:], np.uint8).reshape(int(h), int(w))


def expected_rows(path):
    """Rows for the objects in the raster order of their first pixels,
    the order in which the labelling finds them."""
    img = read_pgm(path)
    labels, n = ndimage.label(img >= THRESHOLD, structure=np.ones((3, 3)))
    first = ndimage.minimum(np.arange(labels.size).reshape(labels.shape), labels,
                            range(1, n + 1)) if n else []
    rows = []
    for number, lab in enumerate(sorted(range(1, n + 1), key=lambda k: first[k - 1]), 1):
        ys, xs = np.nonzero(labels == lab)
        grey = img[ys, xs].astype(np.int64)
        rows.append([path, number, len(xs), xs.sum() // len(xs), ys.sum() // len(ys),
                     xs.min(), ys.min(), xs.max() - xs.min() + 1, ys.max() - ys.min() + 1,
                     grey.sum(), grey.min(), grey.max()])
    return [[str(v) for v in row] for row in rows]


def check(csv_path, images):
    with open(csv_path, newline="") as f:
        table = list(csv.reader(f))
    if not table or table[0] != HEADER:
        sys.exit(f"FAIL: header {table[:1]}")
    got = {}
    for row in table[1:]:
        got.setdefault(row[0], []).append(row)
    failures, objects = 0, 0
    for path in images:
        want = expected_rows(path)
        objects += len(want)
        rows = got.pop(path, [])
        if rows != want:
            failures += 1
            if failures <= 3:
                print(f"FAIL: {path}:\n  expected {want[:3]}\n  got      {rows[:3]}")
    if got:
        failures += 1
        print(f"FAIL: rows for images not given: {list(got)[:3]}")
    if failures:
        sys.exit(f"{failures} image(s) differ")
    print(f"{len(images)} images, {objects} objects: all measurements agree")


if __name__ == "__main__":
    if sys.argv[1] == "generate":
        generate(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif sys.argv[1] == "check":
        check(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
