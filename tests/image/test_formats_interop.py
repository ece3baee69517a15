#!/usr/bin/python3
"""Files of the png, tiff and jpeg modules against OpenCV, scikit-image and
Pillow: what Tavex writes opens in cv2.imread with identical pixels, and
what they write opens in Tavex with identical pixels (16-bit samples as
their high byte, or stretched; palette, alpha and CMYK as colour).

Usage: test_formats_interop.py TAVEX-CLI. Images cross into and out of
Tavex as native .ima files, whose layout this script reads and writes."""
import os
import struct
import subprocess
import sys
import tempfile

import cv2
import numpy as np
import skimage.io
from PIL import Image

cli = os.path.abspath(sys.argv[1])
failures = []


def check(name, ok, detail=""):
    if not ok:
        failures.append(name)
        print("FAIL:", name, detail)


# ----------------------------------------------------------- native files
def write_ima(path, img, x0=0, y0=0, binary=False):
    h, w = img.shape[:2]
    if binary:
        depth = 1
        bits = np.packbits(img.astype(bool), axis=1, bitorder="little")
        data = bits.tobytes()
    elif img.ndim == 2:
        depth = 8
        data = np.pad(img, 1).astype(np.uint8).tobytes()
    else:
        depth = 24
        data = img.astype(np.uint8).tobytes()
    with open(path, "wb") as f:
        f.write(struct.pack("<hhhhB", x0, y0, w, h, depth) + data)


def read_ima(path):
    """(x0, y0, depth, pixels): bits as 0/1, grey without border, RGB."""
    raw = open(path, "rb").read()
    x0, y0, w, h, depth = struct.unpack("<hhhhB", raw[:9])
    data = np.frombuffer(raw[9:], np.uint8)
    if depth == 1:
        rows = data[: h * ((w + 7) // 8)].reshape(h, -1)
        pixels = np.unpackbits(rows, axis=1, bitorder="little")[:, :w]
    elif depth == 8:
        pixels = data[: (w + 2) * (h + 2)].reshape(h + 2, w + 2)[1:-1, 1:-1]
    else:
        pixels = data[: 3 * w * h].reshape(h, w, 3)
    return x0, y0, depth, pixels


def tavex(work, lines):
    out = subprocess.run([cli, "-xS"], input="\n".join(lines) + "\n", capture_output=True,
                         text=True, cwd=work, timeout=600)
    check("tavex-cli runs without errors", out.returncode == 0 and "error" not in out.stdout,
          out.stdout[-2000:] + out.stderr[-2000:])


def same(name, got, want):
    ok = got.shape == want.shape and np.array_equal(got, want)
    detail = ""
    if not ok:
        detail = "shape %s vs %s" % (got.shape, want.shape)
        if got.shape == want.shape:
            detail += ", %d pixels differ" % np.count_nonzero(got != want)
    check(name, ok, detail)


def rgb(bgr):
    return cv2.cvtColor(bgr, cv2.COLOR_BGR2RGB) if bgr.ndim == 3 else bgr


rng = np.random.default_rng(13)
work = tempfile.mkdtemp(prefix="tavex-interop-")
os.chdir(work)

# ------------------------------------------------- Tavex writes, OpenCV reads
originals = {
    "grey": rng.integers(0, 256, (23, 37), np.uint8),
    "col": rng.integers(0, 256, (19, 33, 3), np.uint8),
    "bin": rng.integers(0, 2, (7, 13), np.uint8),
}
lines = []
for kind, img in originals.items():
    write_ima(kind + ".ima", img, 5, 9, binary=(kind == "bin"))
    for module, ext, options in (("png", "png", "level=3"), ("tiff", "tif", ""),
                                 ("tiff", "lzw.tif", "compression=lzw"),
                                 ("tiff", "zip.tif", "compression=deflate"),
                                 ("tiff", "pb.tif", "compression=packbits"),
                                 ("jpeg", "jpg", "quality=90")):
        lines.append('(imasave (imaload "%s.ima") "out_%s.%s" "%s" "%s")' % (kind, kind, ext, module, options))
        lines.append('(imasave (imaload "out_%s.%s" "%s") "back_%s_%s.ima")' % (kind, ext, module, kind, ext))
tavex(work, lines)
for kind, img in originals.items():
    want = img * 255 if kind == "bin" else img
    for ext in ("png", "tif", "lzw.tif", "zip.tif", "pb.tif"):
        got = rgb(cv2.imread("out_%s.%s" % (kind, ext), cv2.IMREAD_UNCHANGED))
        same("cv2.imread of Tavex's %s %s" % (kind, ext), got, want)
    for ext in ("png", "tif"):   # scikit-image's TIFF reader lacks LZW here
        sk = skimage.io.imread("out_%s.%s" % (kind, ext))
        if kind == "bin":
            sk = np.where(sk.astype(bool), 255, 0).astype(np.uint8)
        same("skimage reads Tavex's %s %s" % (kind, ext), sk, want)
    # JPEG is lossy: OpenCV and Tavex decode the same file to the same pixels.
    x0, y0, depth, back = read_ima("back_%s_jpg.ima" % kind)
    got = rgb(cv2.imread("out_%s.jpg" % kind, cv2.IMREAD_UNCHANGED))
    same("cv2.imread and Tavex agree on Tavex's %s jpg" % kind, back, got)
    check("origin kept in %s jpg" % kind, (x0, y0) == (5, 9))
    for ext in ("png", "tif"):
        x0, y0, depth, back = read_ima("back_%s_%s.ima" % (kind, ext))
        check("origin kept in %s %s" % (kind, ext), (x0, y0) == (5, 9), str((x0, y0)))

# ------------------------------------------------- others write, Tavex reads
files = {}   # name: (expected pixels, Tavex module, options)
grey = rng.integers(0, 256, (29, 41), np.uint8)
col = rng.integers(0, 256, (17, 31, 3), np.uint8)
grey16 = rng.integers(3000, 40000, (11, 15), np.uint16)
col16 = rng.integers(0, 65536, (9, 7, 3), np.uint16)

for ext, module in (("png", "png"), ("tif", "tiff")):
    cv2.imwrite("cv_grey." + ext, grey)
    files["cv_grey." + ext] = (grey, module, "")
    cv2.imwrite("cv_col." + ext, cv2.cvtColor(col, cv2.COLOR_RGB2BGR))
    files["cv_col." + ext] = (col, module, "")
    cv2.imwrite("cv_grey16." + ext, grey16)
    files["cv_grey16." + ext] = ((grey16 >> 8).astype(np.uint8), module, "")
    lo, hi = int(grey16.min()), int(grey16.max())
    stretched = ((grey16.astype(np.int64) - lo) * 255 + (hi - lo) // 2) // (hi - lo)
    files["cv_grey16s." + ext] = (stretched.astype(np.uint8), module, "reduce=stretch")
    os.link("cv_grey16." + ext, "cv_grey16s." + ext)
    cv2.imwrite("cv_col16." + ext, cv2.cvtColor(col16, cv2.COLOR_RGB2BGR))
    files["cv_col16." + ext] = ((col16 >> 8).astype(np.uint8), module, "")
    skimage.io.imsave("sk_grey." + ext, grey, check_contrast=False)
    files["sk_grey." + ext] = (grey, module, "")
    skimage.io.imsave("sk_col." + ext, col, check_contrast=False)
    files["sk_col." + ext] = (col, module, "")
# An LZW-compressed TIFF from OpenCV with its default settings, a part of it.
cv2.imwrite("cv_part.tif", grey, [cv2.IMWRITE_TIFF_COMPRESSION, 5])
files["cv_part.tif"] = (grey[3:13, 7:30], "tiff", "x=7 y=3 w=23 h=10")
# Pillow: palette, grey with alpha, RGBA, 1-bit, interlaced-free palette TIFF.
pal = Image.fromarray(rng.integers(0, 6, (13, 21), np.uint8), "P")
palette = rng.integers(0, 256, 18, np.uint8)
pal.putpalette(palette.tolist())
pal.save("pil_pal.png")
files["pil_pal.png"] = (palette.reshape(6, 3)[np.array(pal)], "png", "")
pal.save("pil_pal.tif")
files["pil_pal.tif"] = (palette.reshape(6, 3)[np.array(pal)], "tiff", "")
la = np.dstack([grey, 255 - grey])
Image.fromarray(la, "LA").save("pil_la.png")
files["pil_la.png"] = (grey, "png", "")
rgba = np.dstack([col, col[:, :, 0]])
Image.fromarray(rgba, "RGBA").save("pil_rgba.png")
files["pil_rgba.png"] = (col, "png", "")
Image.fromarray(rgba, "RGBA").save("pil_rgba.tif")
files["pil_rgba.tif"] = (col, "tiff", "")
bits = rng.integers(0, 2, (9, 19), np.uint8)
Image.fromarray(bits.astype(bool)).save("pil_bits.png")
files["pil_bits.png"] = (bits, "png", "")
Image.fromarray(bits.astype(bool)).save("pil_bits.tif")
files["pil_bits.tif"] = (bits, "tiff", "")
# JPEG: whatever the writer, Tavex decodes as OpenCV does (same library).
cv2.imwrite("cv_grey.jpg", grey)
files["cv_grey.jpg"] = (cv2.imread("cv_grey.jpg", cv2.IMREAD_UNCHANGED), "jpeg", "")
cv2.imwrite("cv_col.jpg", cv2.cvtColor(col, cv2.COLOR_RGB2BGR), [cv2.IMWRITE_JPEG_QUALITY, 80])
files["cv_col.jpg"] = (rgb(cv2.imread("cv_col.jpg")), "jpeg", "")
cv2.imwrite("cv_prog.jpg", cv2.cvtColor(col, cv2.COLOR_RGB2BGR), [cv2.IMWRITE_JPEG_PROGRESSIVE, 1])
files["cv_prog.jpg"] = (rgb(cv2.imread("cv_prog.jpg")), "jpeg", "")
skimage.io.imsave("sk_col.jpg", col, quality=70, check_contrast=False)
files["sk_col.jpg"] = (rgb(cv2.imread("sk_col.jpg")), "jpeg", "")
cmyk = rng.integers(0, 256, (8, 10, 4), np.uint8)
Image.fromarray(cmyk, "CMYK").save("pil_cmyk.jpg", quality=100)
files["pil_cmyk.jpg"] = (np.array(Image.open("pil_cmyk.jpg").convert("RGB")), "jpeg", "")

lines = ['(imasave (imaload "%s" "%s" "%s") "in_%s.ima")' % (name, module, options, name)
         for name, (_, module, options) in files.items()]
tavex(work, lines)
for name, (want, module, options) in files.items():
    if not os.path.exists("in_%s.ima" % name):
        check("Tavex reads %s" % name, False, "no result")
        continue
    x0, y0, depth, got = read_ima("in_%s.ima" % name)
    if name == "pil_cmyk.jpg":
        # Pillow converts CMYK with its own rounding: within one level.
        diff = np.abs(got.astype(int) - want.astype(int)).max() if got.shape == want.shape else 999
        check("Tavex reads %s as Pillow does (within 1)" % name, diff <= 1, "max diff %s" % diff)
        continue
    same("Tavex reads %s %s" % (name, options), got, want)
    if options.startswith("x="):
        check("origin of a part of %s" % name, (x0, y0) == (7, 3), str((x0, y0)))

subprocess.run(["rm", "-rf", work])
print("%d failed" % len(failures) if failures else "all passed")
sys.exit(1 if failures else 0)
