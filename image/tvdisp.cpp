// The interpreter side of the display: which image is shown, how it becomes
// the RGB display picture (lookup table for grey, overlays in fixed
// colours, the icon when there is nothing to show), the deferred refresh
// after each evaluation, and the Lisp functions DISPLAY, DISPLUT,
// GET-POINT, GET-LINE and GET-RECT.
#include "image/base.h"
#include "shell/disp.h"
#include "image/tvimage.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>

// ------------------------------------------------------------ state
static node DispIma;    // the displayed image value or NIL; a permanent root
enum { DISP_NONE = 0, DISP_IMAGE = 1, DISP_FRAMES = 2 };
static int DispNew;

typedef uint8_t rgb[3];
rgb col_bin = {150, 0, 0}, col_white = {255, 255, 255}, col_black = {0, 0, 0},
    col_red = {255, 0, 0}, col_green = {0, 255, 0}, col_blue = {0, 0, 255},
    col_yellow = {255, 255, 0}, col_cyan = {0, 255, 255}, col_magenta = {255, 0, 255};
static const rgb col_icon = {72, 14, 97};

// The icon: a yellow ring around a red disc on a violet ground.
constexpr int ICON = 32;
static constexpr std::array<uint8_t, ICON * ICON> makeicon() {
    std::array<uint8_t, ICON * ICON> a{};
    for (int y = 0; y < ICON; ++y)
        for (int x = 0; x < ICON; ++x) {
            int dx = 2 * x - (ICON - 1), dy = 2 * y - (ICON - 1);   // half-pixel units
            int d2 = dx * dx + dy * dy;
            a[size_t(y * ICON + x)] = d2 <= 4 * 5 * 5 ? 2 : (d2 >= 4 * 11 * 11 && d2 <= 4 * 14 * 14) ? 1 : 0;
        }
    return a;
}
static constexpr std::array<uint8_t, ICON * ICON> icon = makeicon();

// Keywords of DISPLAY and their overlay colours.
static node k_overlay[9];
static uint8_t *const overlay_colour[9] = {col_bin, col_white, col_black, col_red, col_green,
                                           col_blue, col_yellow, col_cyan, col_magenta};
static const char *const overlay_name[9] = {":BIN", ":WHITE", ":BLACK", ":RED", ":GREEN",
                                            ":BLUE", ":YELLOW", ":CYAN", ":MAGENTA"};

// ------------------------------------------------------------ the picture
static void putrgb(uint8_t *p, const uint8_t *c) {
    p[0] = c[0];
    p[1] = c[1];
    p[2] = c[2];
}

// Replaces the displayed values by `bytes` uninitialised bytes; on
// failure the picture has no values (the readout shows none), which is
// all that is lost. The caller holds CSection.
static bool newvalues(int depth, size_t bytes) {
    free(Ima.values);
    Ima.values = static_cast<uint8_t *>(malloc(bytes));
    Ima.depth = Ima.values ? depth : 0;
    return Ima.values != nullptr;
}

// Keeps the displayed image's values for the readout. A colour image's
// values are the picture itself until an overlay is laid over it: only
// then are they copied. The caller holds CSection.
static void keepvalues(const s_image &r, const uint8_t *colour) {
    size_t w = size_t(r.w), h = size_t(r.h);
    if (colour) {
        if (Ima.depth == 24 && !Ima.values && newvalues(24, 3 * w * h))
            memcpy(Ima.values, Ima.pixels, 3 * w * h);
        return;
    }
    switch (r.depth) {
    case 8:
        if (newvalues(8, w * h))
            for (size_t y = 0; y < h; ++y)
                memcpy(Ima.values + y * w, r.data + (y + 1) * (w + 2) + 1, w);
        break;
    case 1:
        if (newvalues(1, (w + 7) / 8 * h)) memcpy(Ima.values, r.data, (w + 7) / 8 * h);
        break;
    case 24:
        free(Ima.values);
        Ima.values = nullptr;
        Ima.depth = 24;
        break;
    default:
        newvalues(0, 0);
        break;
    }
}

// Writes an image into the display picture: as the base image (colour
// NULL), or as a BIN overlay of the picture's size whose set pixels take
// the colour.
static void tvdispcreate(int handle, const uint8_t *colour) {
    const s_image &r = imarray[handle];
    if (!r.inuse || r.w == 0 || r.h == 0) return;
    if (colour && (r.w != Ima.w || r.h != Ima.h)) ksabort("wrong size of overlay image");
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(CSection);
        size_t npix = size_t(r.w) * size_t(r.h);
        if (!colour && (npix != size_t(Ima.w) * size_t(Ima.h) || !Ima.pixels)) {
            void *grown = realloc(Ima.pixels, 3 * npix);
            if (grown) Ima.pixels = static_cast<uint8_t *>(grown);
            failed = !grown;
        }
        if (!failed) {
            keepvalues(r, colour);
            Ima.x0 = r.x0;
            Ima.y0 = r.y0;
            Ima.w = r.w;
            Ima.h = r.h;
            uint8_t *out = Ima.pixels;
            size_t w = size_t(r.w);
            for (int y = 0; y < r.h; ++y, out += 3 * w) {
                switch (r.depth) {
                case 8: {
                    const uint8_t *in = r.data + (size_t(y) + 1) * (w + 2) + 1;
                    for (size_t x = 0; x < w; ++x) putrgb(out + 3 * x, Lut[in[x]]);
                    break;
                }
                case 24:
                    memcpy(out, r.data + size_t(y) * 3 * w, 3 * w);
                    break;
                case 1: {
                    const uint8_t *in = r.data + size_t(y) * ((w + 7) / 8);
                    for (size_t x = 0; x < w; ++x) {
                        bool set = (in[x >> 3] >> (x & 7)) & 1;
                        if (colour) {
                            if (set) putrgb(out + 3 * x, colour);
                        } else {
                            putrgb(out + 3 * x, set ? col_bin : col_black);
                        }
                    }
                    break;
                }
                default:
                    break;
                }
            }
        }
    }
    if (failed) ksabort("tvdispcreate, realloc");
}

static void tvdispicon() {
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(CSection);
        free(Ima.pixels);
        Ima.pixels = static_cast<uint8_t *>(malloc(3 * ICON * ICON));
        Ima.x0 = Ima.y0 = 1;
        Ima.w = Ima.h = ICON;
        free(Ima.values);
        Ima.values = nullptr;
        Ima.depth = 0;
        if (!Ima.pixels) {
            Ima.w = Ima.h = 0;
            failed = true;
        } else {
            for (int i = 0; i < ICON * ICON; ++i)
                putrgb(Ima.pixels + 3 * i, icon[size_t(i)] == 2 ? col_red : icon[size_t(i)] == 1 ? col_yellow : col_icon);
        }
    }
    if (failed) ksabort("tvinit, malloc");
}

static bool showable(node img) {
    int t = ntype(img);
    if (t != BIN && t != GREY && t != COL) return false;
    const s_image &r = tvrecord(img);
    return r.inuse && r.w != 0 && r.h != 0;
}

static void rebuild() {
    if (showable(DispIma)) tvdispcreate(getimage(DispIma), nullptr);
    else tvdispicon();
}

// ------------------------------------------------------------ hooks
void tvdisplay(node img) {
    DispIma = img;
    DispNew = DISP_IMAGE;
}

void tvredisplay() { DispNew = DISP_IMAGE; }

void tvframeschanged() {
    osframes();
    if (DispNew == DISP_NONE) DispNew = DISP_FRAMES;
}

void tvdispnow() {
    if (DispNew == DISP_IMAGE) rebuild();
    if (DispNew != DISP_NONE) osdisplay();
    DispNew = DISP_NONE;
}

void tvframes(int f[8]) {
    const int v[8] = {ifx, ify, ifw, ifh, mfx, mfy, mfw, mfh};
    for (int i = 0; i < 8; ++i) f[i] = v[i];
}

void tvdispinit() {
    DispIma = NIL;
    kspush(&DispIma);   // never popped: the displayed image is never collected
    for (int i = 0; i < 9; ++i) k_overlay[i] = ksenter(overlay_name[i]);
    {
        std::lock_guard<std::mutex> lock(CSection);
        lutidentity();
    }
    osdisplut();
    osframes();
    DispNew = DISP_IMAGE;
    tvdispicon();
    osdisplay();
    DispNew = DISP_NONE;
}

// Shows the buffer now; the refresh after the evaluation has nothing left.
static void paintnow() {
    osdisplay();
    DispNew = DISP_NONE;
}

// ------------------------------------------------------------ frames saved
// Remembers both frames and puts them back when the scope ends, by an
// error too.
struct saved_frames {
    int i[4] = {ifx, ify, ifw, ifh};
    int m[4] = {mfx, mfy, mfw, mfh};
    ~saved_frames() {
        iframe(i[0], i[1], i[2], i[3]);
        mframe(m[0], m[1], m[2], m[3]);
    }
};

// ------------------------------------------------------------ DISPLAY, DISPLUT
node xdisplay() {
    static const char usage[] = "display ima :bin bin :red bin ... ";
    if (!moreargs()) ksabort(usage);
    node img = tvargima();
    DispIma = img;
    tvdispcreate(getimage(img), nullptr);
    if (moreargs()) {
        saved_frames keep;
        const s_image &r = tvrecord(img);
        iframe(r.x0, r.y0, r.w, r.h);
        while (ksargc >= 2) {
            node key = nextarg();
            node bin = nextarg();
            int k = 0;
            while (k < 9 && key != k_overlay[k]) ++k;
            if (k == 9) continue;
            if (ntype(bin) != BIN) ksabort(usage);
            node ov = tvconvert(bin);
            tvdispcreate(getimage(ov), overlay_colour[k]);
        }
    }
    paintnow();
    return img;
}

node xdisplut() {
    static const char usage[] = "displut '((0 . #x000000)(1 . #x010101) ...)";
    if (!moreargs()) ksabort(usage);
    node list = ksarg();
    if (!consp(list)) ksbadtype(list);
    kslastarg();
    {
        std::lock_guard<std::mutex> lock(CSection);
        lutidentity();
    }
    for (node p = list; consp(p); p = cdr(p)) {
        node e = car(p);
        if (!consp(e) || !fixp(car(e)) || !fixp(cdr(e))) ksabort(usage);
        int index = getfixnum(car(e)), colour = getfixnum(cdr(e));
        if (index < 0 || index > 255 || colour < 0 || colour > 0xFFFFFF) ksabort(usage);
        std::lock_guard<std::mutex> lock(CSection);
        Lut[index][0] = uint8_t(colour >> 16);
        Lut[index][1] = uint8_t(colour >> 8);
        Lut[index][2] = uint8_t(colour);
    }
    osdisplut();
    DispNew = DISP_IMAGE;
    return NIL;
}

// ------------------------------------------------------------ picking
node xgetpoint() {
    if (!moreargs()) ksabort("get-point ima");
    node img = tvargima();
    kslastarg();
    img = tvconvert(img);
    DispIma = img;
    tvdispcreate(getimage(img), nullptr);
    osdisplay();
    int button = 0, x = 0, y = 0;
    do osgetmouse(&button, &x, &y, "point");
    while (button != 1 && button != 2);
    DispNew = DISP_NONE;
    return tvfixlist({x, y});
}

static int clampto(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The shared loop of GET-LINE and GET-RECT: shows the image with the shape
// that `draw` puts into the cleared BIN overlay (by its handle) in green,
// and hands every click to `click` until it returns true (button 2).
template <class Draw, class Click>
static void pick(node img, const char *shape, Draw draw, Click click) {
    DispIma = img;
    saved_frames keep;
    const s_image &r = tvrecord(img);
    frames(r.x0, r.y0, r.w, r.h);
    node ov = tvbinnew();
    ksguard g(&ov);
    for (;;) {
        tvdispcreate(getimage(img), nullptr);
        binset(getimage(ov), 0);
        draw(getimage(ov));
        tvdispcreate(getimage(ov), col_green);
        osdisplay();
        int button = 0, x = 0, y = 0;
        osgetmouse(&button, &x, &y, shape);
        if (click(button, x, y)) break;
    }
    DispNew = DISP_NONE;
}

node xgetline() {
    static int x1 = 10, y1 = 10, x2 = 245, y2 = 245;
    if (!moreargs()) ksabort("get-line ima");
    node img = tvargima();
    kslastarg();
    auto clamp = [] {
        x1 = clampto(x1, ifx, ifx + ifw - 1);
        x2 = clampto(x2, ifx, ifx + ifw - 1);
        y1 = clampto(y1, ify, ify + ifh - 1);
        y2 = clampto(y2, ify, ify + ifh - 1);
    };
    pick(img, "line",
         [&](int overlay) {
             clamp();
             binwline(overlay, x1, y1, x2, y2, 1);
         },
         [](int button, int x, int y) {
             if (button == 1) x1 = x, y1 = y;
             if (button == 3) x2 = x, y2 = y;
             return button == 2;
         });
    return tvfixlist({x1, y1, x2, y2});
}

// Makes [*from, *from + *size) the span from *from to the pixel `to`,
// both included, whichever side of *from it lies on.
static void span(int *from, int *size, int to) {
    int64_t a = std::min(*from, to), b = std::max(*from, to);
    *from = int(a);
    *size = int(std::min<int64_t>(b - a + 1, INT32_MAX));
}

node xgetrect() {
    static int rx = 10, ry = 10, rw = 235, rh = 235;
    if (!moreargs()) ksabort("get-rect ima");
    node img = tvargima();
    kslastarg();
    auto clamp = [] {
        rx = clampto(rx, ifx, ifx + ifw - 1);
        ry = clampto(ry, ify, ify + ifh - 1);
        rw = std::min(rw, ifx + ifw - rx);
        rh = std::min(rh, ify + ifh - ry);
    };
    pick(img, "rect",
         [&](int overlay) {
             clamp();
             binbord(overlay, 1, rx, ry, rw, rh);
         },
         [](int button, int x, int y) {
             if (button == 1) rx = x, ry = y;
             if (button == 3) {   // the opposite corner, on either side
                 span(&rx, &rw, clampto(x, ifx, ifx + ifw - 1));
                 span(&ry, &rh, clampto(y, ify, ify + ifh - 1));
             }
             return button == 2;
         });
    return tvfixlist({rx, ry, rw, rh});
}
