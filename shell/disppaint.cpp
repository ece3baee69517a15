// Painting of the display window, the lookup-table strip and the enlarged
// view. The picture and the table come from the interpreter thread
// (image/disp.h) and are read here under CSection; the results go into the
// script's photos with Tk_PhotoPutBlock, so nothing is done per pixel in Tcl.
#include "disppaint.h"
#include "disp.h"
#include "tkstart.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <tcl.h>
#include <tk.h>


int Ifx, Ify, Ifw, Ifh;
int Mfx, Mfy, Mfw, Mfh;
int DispWidth, DispHeight, LutWidth, LutHeight;
double DispZoom = 1.0;
int DispX0, DispY0;
int ImaX0, ImaY0, ImaWidth, ImaHeight;

void LinkDisplayVariables(Tcl_Interp *interp) {
    struct link {
        const char *name;
        void *address;
        int type;
    };
    const link links[] = {
        {"DispX0", &DispX0, TCL_LINK_INT},       {"DispY0", &DispY0, TCL_LINK_INT},
        {"DispZoom", &DispZoom, TCL_LINK_DOUBLE}, {"ImaX0", &ImaX0, TCL_LINK_INT},
        {"ImaY0", &ImaY0, TCL_LINK_INT},          {"ImaWidth", &ImaWidth, TCL_LINK_INT},
        {"ImaHeight", &ImaHeight, TCL_LINK_INT},
    };
    for (const link &l : links)
        if (Tcl_LinkVar(interp, l.name, static_cast<char *>(l.address),
                        l.type | TCL_LINK_READ_ONLY) != TCL_OK)
            throw Tcl_GetStringResult(interp);
}

// ------------------------------------------------------------ pure helpers

// Truncation toward zero, kept inside a range where every later sum or
// comparison stays exact; a far-away coordinate stays far away.
static int trunc_int(double v) {
    const double limit = 1 << 30;
    if (!(v > -limit)) return -(1 << 30);   // also NaN
    if (v > limit) return 1 << 30;
    return static_cast<int>(v);
}

void ScalePicture(const uint8_t *src, int w, int h, double zoom, int dw, int dh, int border,
                  uint8_t *dst) {
    if (dw <= 0 || dh <= 0) return;
    const double inv = 1.0 / zoom;
    // The source column of every destination column, from a running sum.
    std::vector<int> column(dw);
    double sum = 0.0;
    for (int c = 0; c < dw; c++, sum += inv) column[c] = std::min(static_cast<int>(sum), w - 1) * 3;

    const size_t pitch = size_t(dw + 2 * border) * 3;
    const size_t src_pitch = size_t(w) * 3;
    int last_row = -1;
    uint8_t *last = nullptr;
    for (int r = 0; r < dh; r++) {
        uint8_t *out = dst + (r + border) * pitch + border * 3;
        int sr = std::min(static_cast<int>(r * inv), h - 1);
        if (sr == last_row) {   // enlarging: the same source row again
            memcpy(out, last, size_t(dw) * 3);
            continue;
        }
        const uint8_t *in = src + sr * src_pitch;
        for (int c = 0; c < dw; c++) {
            const uint8_t *p = in + column[c];
            out[3 * c] = p[0];
            out[3 * c + 1] = p[1];
            out[3 * c + 2] = p[2];
        }
        last_row = sr;
        last = out;
    }
}

static void put_pixel(uint8_t *buf, int W, int x, int y, const uint8_t colour[3]) {
    memcpy(buf + (size_t(y) * W + x) * 3, colour, 3);
}

void DrawFrame(uint8_t *buf, int W, int H, int dw, int dh, double zoom, int x, int y, int w,
               int h, const uint8_t colour[3]) {
    int left = trunc_int(x * zoom);
    bool draw_left = 0 <= left && left < W;
    if (!draw_left) left = 0;
    int top = trunc_int(y * zoom);
    bool draw_top = 0 <= top && top < H;
    if (!draw_top) top = 0;
    int right = trunc_int((double(x) + w) * zoom) + 1;
    bool draw_right = 0 <= right && right < W;
    if (!draw_right) right = dw + 1;
    int bottom = trunc_int((double(y) + h) * zoom) + 1;
    bool draw_bottom = 0 <= bottom && bottom < H;
    if (!draw_bottom) bottom = dh + 1;

    if (left <= right) {
        for (int i = left; i <= right; i++) {
            if (draw_top) put_pixel(buf, W, i, top, colour);
            if (draw_bottom) put_pixel(buf, W, i, bottom, colour);
        }
    }
    if (top <= bottom) {
        for (int j = top; j <= bottom; j++) {
            if (draw_left) put_pixel(buf, W, left, j, colour);
            if (draw_right) put_pixel(buf, W, right, j, colour);
        }
    }
}

// ------------------------------------------------------------ photos

static void init_block(Tk_PhotoImageBlock *block, uint8_t *pixels, int width, int height) {
    block->pixelPtr = pixels;
    block->width = width;
    block->height = height;
    block->pitch = width * 3;
    block->pixelSize = 3;
    block->offset[0] = 0;
    block->offset[1] = 1;
    block->offset[2] = 2;
    block->offset[3] = 0;   // no alpha channel
}

// Sets the photo's size and puts the block over width x height pixels (a
// smaller block is repeated). Throws the Tcl result text on failure.
static void put_photo(Tk_PhotoHandle photo, Tk_PhotoImageBlock *block, int width, int height) {
    if (Tk_PhotoSetSize(Interp, photo, width, height) != TCL_OK ||
        Tk_PhotoPutBlock(Interp, photo, block, 0, 0, width, height, TK_PHOTO_COMPOSITE_SET) !=
            TCL_OK)
        throw Tcl_GetStringResult(Interp);
}

static void eval(const char *command) {
    if (Tcl_Eval(Interp, command) != TCL_OK) throw Tcl_GetStringResult(Interp);
}

// Replaces buffer by one of `bytes` bytes if its size differs; false when
// the memory is not there.
static bool fit_buffer(std::vector<uint8_t> &buffer, size_t bytes) {
    if (buffer.size() == bytes) return true;
    try {
        std::vector<uint8_t> fresh(bytes);
        buffer.swap(fresh);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

static std::vector<uint8_t> DispBuffer;
static Tk_PhotoImageBlock DispBlock;

void DispPaint() {
    std::lock_guard<std::mutex> lock(CSection);
    const int w = Ima.w, h = Ima.h;
    if (!Ima.pixels || w <= 0 || h <= 0 || DispWidth < 10 || DispHeight < 10) return;

    const double zoom = std::min(double(DispWidth - 8) / w, double(DispHeight - 8) / h);
    DispZoom = zoom;
    char command[128];
    snprintf(command, sizeof command, ".tMain.fInfo.lZoom configure -text \"%.3f\"", zoom);
    eval(command);

    const int dw = static_cast<int>(w * zoom), dh = static_cast<int>(h * zoom);
    const int W = dw + 2, H = dh + 2;
    if (!fit_buffer(DispBuffer, size_t(W) * H * 3)) return;
    init_block(&DispBlock, DispBuffer.data(), W, H);
    ImaX0 = Ima.x0;
    ImaY0 = Ima.y0;
    ImaWidth = w;
    ImaHeight = h;

    ScalePicture(Ima.pixels, w, h, zoom, dw, dh, 1, DispBuffer.data());
    static const uint8_t black[3] = {0, 0, 0}, blue[3] = {0, 0, 255}, red[3] = {255, 0, 0};
    uint8_t *buf = DispBuffer.data();
    DrawFrame(buf, W, H, dw, dh, zoom, 0, 0, w, h, black);
    DrawFrame(buf, W, H, dw, dh, zoom, Mfx - Ima.x0, Mfy - Ima.y0, Mfw, Mfh, blue);
    DrawFrame(buf, W, H, dw, dh, zoom, Ifx - Ima.x0, Ify - Ima.y0, Ifw, Ifh, red);

    Tk_PhotoHandle photo = Tk_FindPhoto(Interp, "iDisplay");
    if (!photo) return;
    put_photo(photo, &DispBlock, W, H);

    DispX0 = (DispWidth - W) / 2;
    DispY0 = (DispHeight - H) / 2;
    snprintf(command, sizeof command, ".tMain.cDisplay coords 1 %d %d", DispX0, DispY0);
    eval(command);
}

static std::vector<uint8_t> LutBuffer;
static Tk_PhotoImageBlock LutBlock;

void LutPaint() {
    std::lock_guard<std::mutex> lock(CSection);
    if (LutWidth <= 10 || LutHeight <= 10) return;
    const int w = LutWidth - 6, h = LutHeight - 6;
    if (!fit_buffer(LutBuffer, size_t(h) * 3)) return;
    const double step = h / 256.0;
    for (int i = 0; i < h; i++) {
        int entry = std::min(static_cast<int>(i / step), 255);
        memcpy(&LutBuffer[size_t(i) * 3], Lut[entry], 3);
    }
    init_block(&LutBlock, LutBuffer.data(), 1, h);
    Tk_PhotoHandle photo = Tk_FindPhoto(Interp, "iLut");
    if (photo) put_photo(photo, &LutBlock, w, h);
}

// ------------------------------------------------------------ commands

// Parses the two sizes of a configure command; false unless both are numbers.
static bool parse_size(int argc, const char *argv[], int *w, int *h) {
    return argc == 3 && sscanf(argv[1], "%d", w) == 1 && sscanf(argv[2], "%d", h) == 1;
}

// Runs a painter for a Tcl command: a failure becomes the command's error.
static int paint_command(Tcl_Interp *interp, void (*painter)()) {
    try {
        painter();
    } catch (const char *text) {
        std::string copy = text;   // may point into the interpreter's result
        return TclFail(interp, copy.c_str());
    }
    return TCL_OK;
}

int GuiDispConfigure(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    int w, h;
    if (!parse_size(argc, argv, &w, &h)) return TclFail(interp, "syntax: GuiDispConfigure w h");
    DispWidth = w;
    DispHeight = h;
    return paint_command(interp, DispPaint);
}

int GuiLutConfigure(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    int w, h;
    if (!parse_size(argc, argv, &w, &h)) return TclFail(interp, "syntax: GuiLutConfigure w h");
    LutWidth = w;
    LutHeight = h;
    return paint_command(interp, LutPaint);
}

// Paints the whole picture, without border or frames, as large as it fits
// into a w x h canvas. False for every failure.
static bool max_paint(int w, int h) {
    std::lock_guard<std::mutex> lock(CSection);
    if (!Ima.pixels || Ima.w <= 0 || Ima.h <= 0 || w <= 10 || h <= 10) return false;
    const double zoom = std::min(double(w - 6) / Ima.w, double(h - 6) / Ima.h);
    const int dw = static_cast<int>(Ima.w * zoom), dh = static_cast<int>(Ima.h * zoom);
    std::vector<uint8_t> buffer;
    if (!fit_buffer(buffer, size_t(dw) * dh * 3)) return false;
    ScalePicture(Ima.pixels, Ima.w, Ima.h, zoom, dw, dh, 0, buffer.data());
    Tk_PhotoHandle photo = Tk_FindPhoto(Interp, "iMaximized");
    if (!photo) return false;
    Tk_PhotoImageBlock block;
    init_block(&block, buffer.data(), dw, dh);
    char command[128];
    snprintf(command, sizeof command, ".tMaximized.cMaximized coords 1 %d %d", (w - dw) / 2,
             (h - dh) / 2);
    try {
        put_photo(photo, &block, dw, dh);
        eval(command);
    } catch (const char *) {
        return false;
    }
    return true;
}

int GuiMaxPaint(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    int w, h;
    if (!parse_size(argc, argv, &w, &h) || !max_paint(w, h))
        return TclFail(interp, "error in GuiMaxPaint");
    return TCL_OK;
}

// Reads a whole decimal integer; false for anything else.
static bool parse_wide(const char *text, int64_t *value) {
    char *end;
    errno = 0;
    long long v = strtoll(text, &end, 10);
    if (end == text || *end || errno) return false;
    *value = v;
    return true;
}

int GuiDispValue(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    int64_t x, y;
    if (argc != 3 || !parse_wide(argv[1], &x) || !parse_wide(argv[2], &y))
        return TclFail(interp, "syntax: GuiDispValue x y");
    char text[64];
    {
        std::lock_guard<std::mutex> lock(CSection);
        dispvalue(x, y, text, sizeof text);
    }
    Tcl_SetResult(interp, text, TCL_VOLATILE);
    return TCL_OK;
}
