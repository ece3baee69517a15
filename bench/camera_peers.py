#!/usr/bin/python3
# camera_peers.py DIR: OpenCV's time for the Bayer demosaicking of the raw
# frames DIR/bayerSIZE.raw that camera_bench wrote (cv2.cvtColor with
# COLOR_BayerRG2RGB), single-threaded, best of several runs.
# Output lines: DEBAYER SIZE MILLISECONDS.
import sys
import time
import numpy as np
import cv2

cv2.setNumThreads(1)
for size in (1024, 4096):
    raw = np.fromfile(f"{sys.argv[1]}/bayer{size}.raw", dtype=np.uint8).reshape(size, size)
    out = np.empty((size, size, 3), dtype=np.uint8)
    best = 1e30
    for _ in range(40 if size == 1024 else 8):
        t0 = time.perf_counter()
        cv2.cvtColor(raw, cv2.COLOR_BayerRG2RGB, dst=out)
        best = min(best, time.perf_counter() - t0)
    print(f"DEBAYER {size} {best * 1000:.3f}", flush=True)
