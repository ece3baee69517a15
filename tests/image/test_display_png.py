#!/usr/bin/python3
"""Checks what the display shows: runs tavex-cli --display-png with a few
lines of Lisp and reads the pixels back from the PNG it wrote. Also checks
the image-memory line of ROOM under several budgets.

Usage: test_display_png.py PATH-TO-TAVEX-CLI
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

CLI = os.path.abspath(sys.argv[1])
failures = []

ICON_GROUND, YELLOW, RED = (72, 14, 97), (255, 255, 0), (255, 0, 0)
GREEN, BLACK, WHITE = (0, 255, 0), (0, 0, 0), (255, 255, 255)
COL_BIN = (150, 0, 0)


def read_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        (n,) = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]
        pos += 12 + n
        if kind == b"IHDR":
            width, height, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, ctype, interlace) == (8, 2, 0), "not 8-bit RGB"
        elif kind == b"IDAT":
            idat += body
    raw = zlib.decompress(idat)
    stride, rows, prev = 3 * width, [], bytearray(3 * width)
    for y in range(height):
        ftype, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 255
            elif ftype == 2:
                line[i] = (line[i] + b) & 255
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
                line[i] = (line[i] + pred) & 255
        rows.append([tuple(line[3 * x:3 * x + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def run(lisp, *args):
    """Runs the program in a fresh directory; returns (console output, picture or None, files left)."""
    with tempfile.TemporaryDirectory() as work:
        png = os.path.join(work, "out.png")
        proc = subprocess.run([CLI, "-xS", "--display-png", png, *args], input=lisp.encode(),
                              cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        out = proc.stdout.decode(errors="replace")
        if proc.returncode != 0:
            failures.append(f"exit status {proc.returncode} for {lisp!r}: {out}")
        picture = read_png(png) if os.path.exists(png) else None
        return out, picture, sorted(os.listdir(work))


def check(name, got, want):
    if got != want:
        failures.append(f"{name}: got {got!r}, want {want!r}")


def pixels(picture, points):
    _, _, rows = picture
    return [rows[y][x] for x, y in points]


def test_icon_at_start_and_after_freeall():
    for lisp in ["", "(setq g (greyset 5))\n(freeall)\n"]:
        out, pic, files = run(lisp)
        check(f"icon size after {lisp!r}", pic[:2], (32, 32))
        check(f"icon pixels after {lisp!r}", pixels(pic, [(0, 0), (31, 31), (15, 15), (16, 3), (3, 16)]),
              [ICON_GROUND, ICON_GROUND, RED, YELLOW, YELLOW])
        check("only the picture is left", files, ["out.png"])


def test_grey_through_lookup_table():
    # 50 at (0, 0); EX2 re-frames into (1, 0, 2, 1) and complements: 205 at
    # (1, 0), and 255 where the source did not reach.
    lisp = "(frames '(0 0 2 1))\n(setq a (greyset 50))\n(frames '(1 0 2 1))\n(setq e (ex2 a))\n"
    _, pic, _ = run(lisp)
    check("grey identity table", pic, (2, 1, [[(205, 205, 205), (255, 255, 255)]]))
    _, pic, _ = run(lisp + "(displut '((205 . #xFF0000) (7 . 7)))\n")
    check("grey through a set entry", pic, (2, 1, [[RED, WHITE]]))
    _, pic, _ = run(lisp + "(displut '((205 . #xFF0000)))\n(displut '((0 . 0) (256 . 0)))\n(display e)\n")
    check("a bad table resets to the ramp", pic, (2, 1, [[(205, 205, 205), WHITE]]))
    _, pic, _ = run("(frames '(0 0 3 2))\n(setq a (greyset 0))\n(displut '((0 . #x00FF00)))\n(display a)\n")
    check("display uses the current table", pixels(pic, [(0, 0), (2, 1)]), [GREEN, GREEN])


def test_colour_and_binary():
    _, pic, _ = run("(frames '(0 0 3 2))\n(colset #x123456)\n")
    check("colour", pic, (3, 2, [[(0x12, 0x34, 0x56)] * 3] * 2))
    # a binary width that is not a multiple of 8; re-framing moves the set
    # part: the source covers x 0..10, the frame starts at x 5
    _, pic, _ = run("(frames '(0 0 11 3))\n(binset 1)\n")
    check("binary", pic, (11, 3, [[COL_BIN] * 11] * 3))
    _, pic, _ = run("(frames '(0 0 11 3))\n(setq b (binset 1))\n(frames '(5 1 11 3))\n(get-point b)\n2 0 0\n")
    row = [COL_BIN] * 6 + [BLACK] * 5
    check("binary re-framed", pic, (11, 3, [row, row, [BLACK] * 11]))


def test_overlays_in_their_colours():
    keys = [":bin", ":white", ":black", ":red", ":green", ":blue", ":yellow", ":cyan", ":magenta"]
    colours = [COL_BIN, WHITE, BLACK, RED, GREEN, (0, 0, 255), YELLOW, (0, 255, 255), (255, 0, 255)]
    lisp = "(frames '(0 0 10 2))\n(setq g (greyset 60))\n"
    for k in range(9):   # overlay k covers pixel k of the first row only
        lisp += f"(frames '({k} 0 1 1))\n(setq b{k} (binset 1))\n"
    lisp += "(frames '(0 0 1 1))\n(display g :nothing b0 " + " ".join(f"{key} b{k}" for k, key in enumerate(keys)) + " :red)\n"
    out, pic, _ = run(lisp)
    check("overlay colours", pic[2][0], colours + [(60, 60, 60)])
    check("overlay leaves other rows", pic[2][1], [(60, 60, 60)] * 10)
    # later overlays paint over earlier ones; the image frame is back afterwards
    out, pic, _ = run("(frames '(0 0 6 1))\n(setq g (greyset 1))\n(frames '(0 0 4 1))\n(setq r (binset 1))\n"
                    "(frames '(2 0 4 1))\n(setq gr (binset 1))\n(frames '(0 0 1 1))\n(display g :red r :green gr)\n"
                    "(iframe)\n")
    check("overlay order", pic[2][0], [RED, RED, GREEN, GREEN, GREEN, GREEN])
    check("frame after overlays", "> (0 0 1 1)" in out.splitlines(), True)


def test_picking_shows_shape_in_green():
    lisp = "(frames '(0 0 20 20))\n(setq g (greyset 10))\n(get-line g)\n1 2 3\n3 12 3\n2 0 0\n"
    out, pic, _ = run(lisp)
    grey = (10, 10, 10)
    check("get-line result", "> (2 3 12 3)" in out.splitlines(), True)
    check("line pixels", pixels(pic, [(2, 3), (7, 3), (12, 3), (1, 3), (13, 3), (7, 4)]),
          [GREEN, GREEN, GREEN, grey, grey, grey])
    lisp = "(frames '(0 0 20 20))\n(setq g (greyset 10))\n(get-rect g)\n1 2 3\n3 5 7\n2 0 0\n"
    _, pic, _ = run(lisp)
    check("rectangle outline", pixels(pic, [(2, 3), (5, 3), (2, 7), (5, 7), (3, 5), (4, 5), (6, 3), (2, 8)]),
          [GREEN, GREEN, GREEN, GREEN, grey, grey, grey, grey])


def test_room_line_and_budgets():
    def room_line(lisp, *args):
        out, _, _ = run(lisp + "(room)\n", *args)
        lines = [l for l in out.splitlines() if l.startswith("id used:") or l.startswith("Q/HQ")]
        return lines
    check("room with two images", room_line("(frames '(0 0 10 10))\n(setq a (greyset 1) b (binset 1))\n"),
          ["Q/HQ segments: 0  0", "id used: 2 field mem used/free: 164  15999836"])
    check("room after freeall", room_line("(setq a (greyset 1) b (colset 1))\n(freeall)\n"),
          ["Q/HQ segments: 0  0", "id used: 0 field mem used/free: 0  16000000"])
    check("8 GB budget", room_line("", "-xM8000000000"),
          ["Q/HQ segments: 0  0", "id used: 0 field mem used/free: 0  8000000000"])
    check("budget beyond 32 bits", room_line("", "-xM4294967297"),
          ["Q/HQ segments: 0  0", "id used: 0 field mem used/free: 0  4294967297"])
    for bad in ["-xMlots", "-xM-5", "-xM99999999999999999999999"]:
        check(f"bad budget {bad}", room_line("", bad)[-1], "id used: 0 field mem used/free: 0  16000000")


def test_picture_saved_without_destroying():
    """A link is followed to its target, which keeps its mode; a full device
    reports the failure and stays a device."""
    import stat
    with tempfile.TemporaryDirectory() as work:
        target, link, full = (os.path.join(work, n) for n in ("target.png", "link.png", "full"))
        with open(target, "wb") as f:
            f.write(b"old")
        os.chmod(target, 0o640)
        os.symlink("target.png", link)
        os.symlink("/dev/full", full)
        outs = []
        for png in (link, full):
            proc = subprocess.run([CLI, "-xS", "--display-png", png], input=b"(frames '(0 0 3 2))\n(colset 1)\n",
                                  cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
            check(f"exit status with {png}", proc.returncode, 0)
            outs.append(proc.stdout.decode(errors="replace"))
        check("link stays a link", os.path.islink(link), True)
        try:
            picture = read_png(target)[:2]
        except (AssertionError, zlib.error, struct.error) as e:
            picture = repr(e)
        check("picture written to the link's target", picture, (3, 2))
        check("target keeps its mode", stat.S_IMODE(os.stat(target).st_mode), 0o640)
        check("full device reported", f"tavex-cli: write error: {full}" in outs[1], True)
        check("full device stays", (os.path.islink(full), stat.S_ISCHR(os.stat("/dev/full").st_mode)), (True, True))
        check("no temporaries", sorted(os.listdir(work)), ["full", "link.png", "target.png"])


for test in [test_picture_saved_without_destroying, test_icon_at_start_and_after_freeall, test_grey_through_lookup_table, test_colour_and_binary,
             test_overlays_in_their_colours, test_picking_shows_shape_in_green, test_room_line_and_budgets]:
    test()
for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
