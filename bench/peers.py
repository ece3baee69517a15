#!/usr/bin/python3
# OpenCV's times for the operators that image_bench times, on the same
# sizes, single-threaded, best of several runs. Binary images are compared
# with OpenCV byte images of 0/255 with the same pixel count.
# Output lines: OPERATOR TYPE SIZE MILLISECONDS.
import time
import numpy as np
import cv2

cv2.setNumThreads(1)
rng = np.random.default_rng(7)


def best(runs, f):
    t = 1e30
    for _ in range(runs):
        t0 = time.perf_counter()
        f()
        t = min(t, time.perf_counter() - t0)
    return t * 1000


def report(op, typ, size, ms):
    print(f"{op} {typ} {size} {ms:.4f}", flush=True)


for size in (1024, 4096):
    runs = 30 if size == 1024 else 6
    for typ in ("bin", "grey", "col"):
        shape = (size, size, 3) if typ == "col" else (size, size)
        if typ == "bin":
            a = (rng.integers(0, 2, shape, dtype=np.uint8) * 255)
            b = (rng.integers(0, 2, shape, dtype=np.uint8) * 255)
        else:
            a = rng.integers(0, 256, shape, dtype=np.uint8)
            b = rng.integers(0, 256, shape, dtype=np.uint8)
        d = np.empty_like(a)
        mask = rng.integers(0, 2, (size, size), dtype=np.uint8) * 255
        t = lambda op, f: report(op, typ, size, best(runs, f))
        if typ != "bin":
            t("ADD", lambda: cv2.add(a, b, dst=d))
            t("SUB", lambda: cv2.subtract(a, b, dst=d))
            t("SUP", lambda: cv2.max(a, b, dst=d))
            t("INF", lambda: cv2.min(a, b, dst=d))
            t("MASK", lambda: cv2.copyTo(a, mask, dst=d))
        else:
            t("SUP", lambda: cv2.bitwise_or(a, b, dst=d))
            t("INF", lambda: cv2.bitwise_and(a, b, dst=d))
        t("COPY", lambda: np.copyto(d, a))
        shift = np.float32([[1, 0, 37], [0, 1, -21]])
        t("SHIFT", lambda: cv2.warpAffine(a, shift, (size, size), dst=d, flags=cv2.INTER_NEAREST))
        t("ROT90", lambda: cv2.rotate(a, cv2.ROTATE_90_CLOCKWISE, dst=d))
        rot = cv2.getRotationMatrix2D(((size - 1) / 2, (size - 1) / 2), -30, 1.0)
        t("ROT", lambda: cv2.warpAffine(a, rot, (size, size), dst=d, flags=cv2.INTER_NEAREST))
        if typ != "bin":
            t("ROTBIL", lambda: cv2.warpAffine(a, rot, (size, size), dst=d, flags=cv2.INTER_LINEAR))
        quarter = a[: size // 2, : size // 2]
        t("ZOOM", lambda: cv2.resize(quarter, (size, size), dst=d, interpolation=cv2.INTER_NEAREST))
        if typ != "bin":
            t("ZOOMBIL", lambda: cv2.resize(quarter, (size, size), dst=d, interpolation=cv2.INTER_LINEAR))
