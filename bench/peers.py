#!/usr/bin/python3
# OpenCV's times for the operators that image_bench times, on the same
# sizes, single-threaded, best of several runs. Binary images are compared
# with OpenCV byte images of 0/255 with the same pixel count.
# Output lines: OPERATOR TYPE SIZE MILLISECONDS.
# peers.py [SECTION...]: all sections, or only the named ones of pixel,
# morph, trans and signal (the sections of image_bench).
import os
import sys
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


def wanted(section):
    return len(sys.argv) < 2 or section in sys.argv[1:]


def report(op, typ, size, ms):
    print(f"{op} {typ} {size} {ms:.4f}", flush=True)


for size in (1024, 4096) if wanted("pixel") else ():
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


# Morphology and measurements on the inputs image_bench wrote to
# $TAVEX_BENCH_DATA (NAME_SIZE.u8, row-major bytes). Output lines carry the
# peer's name as a fifth field.
data = os.environ.get("TAVEX_BENCH_DATA")
if data and wanted("morph"):
    from scipy import ndimage
    from skimage import measure, morphology, segmentation

    def load(name, size):
        return np.fromfile(os.path.join(data, f"{name}_{size}.u8"), dtype=np.uint8).reshape(size, size)

    def peer(op, typ, size, name, runs, f):
        print(f"{op} {typ} {size} {best(runs, f):.4f} {name}", flush=True)

    eight = np.ones((3, 3), dtype=bool)
    for size in (1024, 4096):
        runs = 5 if size == 1024 else 2
        slow = 2 if size == 1024 else 1
        relief, blobs = load("relief", size), load("blobs", size)
        markers, lowered, seeds = load("markers", size), load("lowered", size), load("seeds", size)
        labels = load("labels", size)
        peer("LABEL", "bin", size, "cv2.connectedComponents", runs,
             lambda: cv2.connectedComponents(blobs, connectivity=8, ltype=cv2.CV_32S))
        peer("LABEL", "bin", size, "scipy.ndimage.label", runs, lambda: ndimage.label(blobs, structure=eight))
        peer("LABEL", "bin", size, "skimage.measure.label", slow, lambda: measure.label(blobs, connectivity=2))
        bseeds, bblobs = seeds.astype(bool), blobs.astype(bool)
        peer("BUILD", "bin", size, "scipy.binary_propagation", slow,
             lambda: ndimage.binary_propagation(bseeds, structure=eight, mask=bblobs))
        peer("BUILD", "bin", size, "skimage.reconstruction", slow,
             lambda: morphology.reconstruction(seeds, blobs, method="dilation"))
        peer("BUILD", "grey", size, "skimage.reconstruction", slow,
             lambda: morphology.reconstruction(lowered, relief, method="dilation"))
        mk = markers.astype(np.int32)
        peer("WATERSHED", "grey", size, "skimage.watershed", slow,
             lambda: segmentation.watershed(relief, mk, connectivity=2))

        def props():
            for r in measure.regionprops(labels, intensity_image=relief):
                r.coords[0], r.centroid, r.bbox, r.area, r.intensity_mean * r.area, r.intensity_min, r.intensity_max
        peer("FEATMEAS", "grey", size, "skimage.regionprops", slow, props)
        peer("SUM", "grey", size, "numpy.sum", runs * 4, lambda: relief.sum())
        peer("SUM", "bin", size, "numpy.count_nonzero", runs * 4, lambda: np.count_nonzero(blobs))
        peer("HISTOGRAM", "grey", size, "numpy.bincount", runs * 4, lambda: np.bincount(relief.ravel(), minlength=256))
        peer("GREYMEAS", "grey", size, "numpy.min+max+mean", runs * 4, lambda: (relief.min(), relief.max(), relief.mean()))


# Point and neighbourhood transforms and colour operators on random images
# of the same sizes (the timings do not depend on the contents, except the
# distance transform, which gets the same density of background).
if wanted("trans"):
    from scipy import ndimage
    from skimage import filters

    def other(op, typ, size, name, runs, f):
        print(f"{op} {typ} {size} {best(runs, f):.4f} {name}", flush=True)

    square, cross = np.ones((3, 3), np.uint8), cv2.getStructuringElement(cv2.MORPH_CROSS, (3, 3))
    for size in (1024, 4096):
        runs = 30 if size == 1024 else 6
        slow = 6 if size == 1024 else 2
        g = rng.integers(0, 256, (size, size), dtype=np.uint8)
        b = rng.integers(0, 2, (size, size), dtype=np.uint8) * 255
        c = rng.integers(0, 256, (size, size, 3), dtype=np.uint8)
        d = np.empty_like(g)
        cd = np.empty_like(c)
        for se, k in ((511, square), (171, cross)):
            other(f"INFNBH{se}", "grey", size, "cv2.erode", runs, lambda: cv2.erode(g, k, dst=d))
            other(f"SUPNBH{se}", "grey", size, "cv2.dilate", runs, lambda: cv2.dilate(g, k, dst=d))
            fp = k.astype(bool)
            other(f"INFNBH{se}", "grey", size, "scipy.grey_erosion", 2 if size == 1024 else 1,
                  lambda: ndimage.grey_erosion(g, footprint=fp, mode="constant", cval=255))
            other(f"INFNBH{se}", "bin", size, "cv2.erode 0/255", runs, lambda: cv2.erode(b, k, dst=d))
            other(f"SUPNBH{se}", "bin", size, "cv2.dilate 0/255", runs, lambda: cv2.dilate(b, k, dst=d))
        for n in (11, 101):
            row, col = np.ones((1, 2 * n + 1), np.uint8), np.ones((2 * n + 1, 1), np.uint8)
            other(f"LINDIL{n}", "grey", size, f"cv2.dilate 1x{2 * n + 1}", slow, lambda: cv2.dilate(g, row, dst=d))
            other(f"LINERO{n}", "grey", size, f"cv2.erode 1x{2 * n + 1}", slow, lambda: cv2.erode(g, row, dst=d))
            other(f"LINDILV{n}", "grey", size, f"cv2.dilate {2 * n + 1}x1", slow, lambda: cv2.dilate(g, col, dst=d))
        for half in (1, 5, 15):
            other(f"MEDIAN{half}", "grey", size, "cv2.medianBlur", runs if half == 1 else slow,
                  lambda: cv2.medianBlur(g, 2 * half + 1, dst=d))
            if size == 1024 and half < 15:
                fp = np.ones((2 * half + 1, 2 * half + 1), bool)
                other(f"MEDIAN{half}", "grey", size, "skimage.filters.median", 1, lambda: filters.median(g, fp))
        sparse = np.where(rng.integers(0, 64, (size, size)) == 0, 0, 255).astype(np.uint8)
        other("DISTANCE", "bin", size, "cv2.distanceTransform C", runs,
              lambda: cv2.distanceTransform(sparse, cv2.DIST_C, 3))
        other("THRESH", "grey", size, "cv2.threshold", runs,
              lambda: cv2.threshold(g, 99, 255, cv2.THRESH_BINARY, dst=d))
        other("INVERT", "grey", size, "cv2.bitwise_not", runs, lambda: cv2.bitwise_not(g, dst=d))
        lut = (255 - np.arange(256) // 2).astype(np.uint8)
        other("ANAMORPH", "grey", size, "cv2.LUT", runs, lambda: cv2.LUT(g, lut, dst=d))
        other("COL-GREY", "col", size, "cv2.split", runs, lambda: cv2.split(c))
        other("INTENSITY", "col", size, "cv2.cvtColor RGB2GRAY", runs, lambda: cv2.cvtColor(c, cv2.COLOR_RGB2GRAY, dst=d))
        other("RGB-IHS", "col", size, "cv2.cvtColor RGB2HSV_FULL", runs,
              lambda: cv2.cvtColor(c, cv2.COLOR_RGB2HSV_FULL, dst=cd))
        other("IHS-RGB", "col", size, "cv2.cvtColor HSV2RGB_FULL", runs,
              lambda: cv2.cvtColor(c, cv2.COLOR_HSV2RGB_FULL, dst=cd))


# Signal processing: the same masks (binomial, the 15 x 15 box) with float
# weights (mode 0 of CONV and CONVH divides by their sum), the complex transform of a pair of
# float images (FFTCORE) and with the polar conversions around it as FFT
# does them, and a first-order recursive filter along rows.
if wanted("signal"):
    from scipy import signal as sps

    def sig(op, size, name, runs, f):
        print(f"{op} grey {size} {best(runs, f):.4f} {name}", flush=True)

    for size in (1024, 4096):
        runs = 10 if size == 1024 else 3
        g = rng.integers(0, 256, (size, size), dtype=np.uint8)
        a = rng.integers(0, 256, (size, size), dtype=np.uint8)
        d = np.empty_like(g)
        for n in (3, 5, 15):
            row = np.array([1.0])
            for _ in range(n - 1):
                row = np.convolve(row, [1.0, 1.0])
            if n > 5:
                row = np.ones(n)
            k = np.outer(row, row).astype(np.float32)
            k /= k.sum()
            sig(f"CONV{n}", size, "cv2.filter2D", runs, lambda: cv2.filter2D(g, -1, k, dst=d))
        sig("CONVH3", size, "cv2.sepFilter2D", runs,
            lambda: cv2.sepFilter2D(g, -1, np.float32([0.25, 0.5, 0.25]), np.float32([1]), dst=d))
        z = cv2.merge([g.astype(np.float32), a.astype(np.float32)])
        sig("FFTCORE", size, "cv2.dft complex", runs, lambda: cv2.dft(z, flags=cv2.DFT_COMPLEX_OUTPUT))

        def polarfft():
            re, im = cv2.polarToCart(g.astype(np.float32), a.astype(np.float32) * np.float32(np.pi / 128))
            f = cv2.dft(cv2.merge([re, im]), flags=cv2.DFT_COMPLEX_OUTPUT)
            mg, ph = cv2.cartToPolar(f[..., 0], f[..., 1])
            return cv2.convertScaleAbs(mg, alpha=255 / max(mg.max(), 1e-30)), ph
        sig("FFT", size, "cv2 polar+dft+polar", runs, polarfft)
        sig("FFT", size, "cv2.dft complex", runs, lambda: cv2.dft(z, flags=cv2.DFT_COMPLEX_OUTPUT))
        gf = g.astype(np.float32)
        sig("RECH", size, "scipy lfilter rows", runs, lambda: sps.lfilter([0.5], [1.0, -0.5], gf, axis=1))
