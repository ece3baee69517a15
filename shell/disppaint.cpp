// Painting of the display window, the lookup-table strip and the enlarged
// view. The picture and the table come from the interpreter thread
// (shell/disp.h) and are read here under CSection; the results go into the
// script's photos with Tk_PhotoPutBlock, so nothing is done per pixel in Tcl.
#include "shell/disppaint.h"
#include "shell/disp.h"
#include "shell/tkstart.h"

#include <algorithm>
#include <cmath>
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
        {"ImaHeight", &ImaHeight, TCL_LINK_INT},   {"DispPhotoW", &DispPhotoW, TCL_LINK_INT},
        {"DispPhotoH", &DispPhotoH, TCL_LINK_INT},
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

void DrawFrame(uint8_t *buf, int W, int H, int dw, int dh, double zoom, int x, int y, int w,
               int h, const uint8_t colour[3]) {
    DrawFrameView(buf, {0, 0, W, H}, W, H, dw, dh, zoom, x, y, w, h, colour);
}

void DrawFrameView(uint8_t *buf, ViewPort port, int W, int H, int dw, int dh, double zoom,
                   int x, int y, int w, int h, const uint8_t colour[3]) {
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

    // The same edges, seen through the port: rows and columns of the full
    // photo outside it are left out, spans are clipped to it.
    const int px1 = port.left + port.width - 1, py1 = port.top + port.height - 1;
    auto in_rows = [&](int r) { return port.top <= r && r <= py1; };
    auto in_cols = [&](int c) { return port.left <= c && c <= px1; };
    auto put = [&](int c, int r) {
        memcpy(buf + (size_t(r - port.top) * port.width + (c - port.left)) * 3, colour, 3);
    };
    if (left <= right) {
        const int from = std::max(left, port.left), to = std::min(right, px1);
        for (int i = from; i <= to; i++) {
            if (draw_top && in_rows(top)) put(i, top);
            if (draw_bottom && in_rows(bottom)) put(i, bottom);
        }
    }
    if (top <= bottom) {
        const int from = std::max(top, port.top), to = std::min(bottom, py1);
        for (int j = from; j <= to; j++) {
            if (draw_left && in_cols(left)) put(left, j);
            if (draw_right && in_cols(right)) put(right, j);
        }
    }
}

void ScaleView(const uint8_t *src, int w, int h, int num, int den, ViewPort port, int dw,
               int dh, uint8_t *dst) {
    // The source column of every port column inside the picture, or -1.
    std::vector<int> column(size_t(port.width));
    for (int c = 0; c < port.width; c++) {
        const int64_t X = int64_t(port.left) + c - 1;   // column in the scaled picture
        column[size_t(c)] = X < 0 || X >= dw ? -1 : int(std::min<int64_t>(X * den / num, w - 1)) * 3;
    }
    const size_t pitch = size_t(port.width) * 3, src_pitch = size_t(w) * 3;
    int64_t last_row = -1;
    const uint8_t *last = nullptr;
    for (int r = 0; r < port.height; r++) {
        const int64_t Y = int64_t(port.top) + r - 1;
        if (Y < 0 || Y >= dh) continue;   // the border, drawn as a frame
        uint8_t *out = dst + r * pitch;
        const int64_t sr = std::min<int64_t>(Y * den / num, h - 1);
        if (sr == last_row) {   // enlarging: the same source row again
            memcpy(out, last, pitch);
            continue;
        }
        const uint8_t *in = src + sr * src_pitch;
        for (int c = 0; c < port.width; c++) {
            if (column[size_t(c)] < 0) continue;
            const uint8_t *p = in + column[size_t(c)];
            out[3 * c] = p[0];
            out[3 * c + 1] = p[1];
            out[3 * c + 2] = p[2];
        }
        last_row = sr;
        last = out;
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

// The view: ViewNum 0 fits the whole picture into the canvas (the
// default); otherwise the scale is ViewNum / ViewDen screen pixels per image
// pixel, and when the full photo is larger than the canvas, the canvas
// shows its part from (ViewLeft, ViewTop) on.
static int ViewNum = 0, ViewDen = 1;
static int64_t ViewLeft, ViewTop;
int DispPhotoW, DispPhotoH;

// The largest scaled picture side: the full photo's size and every
// position in it stay far inside int.
static const int64_t MAX_SCALED = int64_t(1) << 28;

// Where the full photo (size W, of which the canvas of size `canvas`
// shows what fits) lies along one axis: its part in the painted photo
// (port start and length) and the canvas position of its first pixel.
static void place(int64_t W, int canvas, int64_t *scroll, int *port_start, int *port_length,
                  int *origin) {
    if (W <= canvas) {   // all of it, centred
        *port_start = 0;
        *port_length = int(W);
        *origin = int((canvas - W) / 2);
        *scroll = 0;
        return;
    }
    *scroll = std::clamp<int64_t>(*scroll, 0, W - canvas);
    *port_start = int(*scroll);
    *port_length = canvas;
    *origin = -int(*scroll);
}

void DispPaint() {
    std::lock_guard<std::mutex> lock(CSection);
    const int w = Ima.w, h = Ima.h;
    if (!Ima.pixels || w <= 0 || h <= 0 || DispWidth < 10 || DispHeight < 10) return;

    const bool fit = ViewNum == 0;
    int dw, dh, num = ViewNum, den = ViewDen;
    double zoom;
    if (fit) {
        zoom = std::min(double(DispWidth - 8) / w, double(DispHeight - 8) / h);
        dw = static_cast<int>(w * zoom);
        dh = static_cast<int>(h * zoom);
    } else {
        while (num > 1 && (int64_t(w) * num / den > MAX_SCALED || int64_t(h) * num / den > MAX_SCALED))
            num /= 2;
        zoom = double(num) / den;
        dw = int(int64_t(w) * num / den);
        dh = int(int64_t(h) * num / den);
    }
    DispZoom = zoom;
    char command[128];
    snprintf(command, sizeof command, ".tMain.fInfo.lZoom configure -text \"%.3f\"", zoom);
    eval(command);

    const int W = dw + 2, H = dh + 2;
    ViewPort port;
    int x0, y0;
    if (fit) {
        port = {0, 0, W, H};
        x0 = (DispWidth - W) / 2;
        y0 = (DispHeight - H) / 2;
    } else {
        place(W, DispWidth, &ViewLeft, &port.left, &port.width, &x0);
        place(H, DispHeight, &ViewTop, &port.top, &port.height, &y0);
    }
    if (!fit_buffer(DispBuffer, size_t(port.width) * port.height * 3)) return;
    init_block(&DispBlock, DispBuffer.data(), port.width, port.height);
    ImaX0 = Ima.x0;
    ImaY0 = Ima.y0;
    ImaWidth = w;
    ImaHeight = h;
    DispPhotoW = W;
    DispPhotoH = H;

    uint8_t *buf = DispBuffer.data();
    if (fit) ScalePicture(Ima.pixels, w, h, zoom, dw, dh, 1, buf);
    else ScaleView(Ima.pixels, w, h, num, den, port, dw, dh, buf);
    static const uint8_t black[3] = {0, 0, 0}, blue[3] = {0, 0, 255}, red[3] = {255, 0, 0};
    DrawFrameView(buf, port, W, H, dw, dh, zoom, 0, 0, w, h, black);
    DrawFrameView(buf, port, W, H, dw, dh, zoom, Mfx - Ima.x0, Mfy - Ima.y0, Mfw, Mfh, blue);
    DrawFrameView(buf, port, W, H, dw, dh, zoom, Ifx - Ima.x0, Ify - Ima.y0, Ifw, Ifh, red);

    Tk_PhotoHandle photo = Tk_FindPhoto(Interp, "iDisplay");
    if (!photo) return;
    put_photo(photo, &DispBlock, port.width, port.height);

    // DispX0, DispY0: the canvas position of the full photo's top-left
    // pixel, left of or above the canvas when it is scrolled.
    DispX0 = x0;
    DispY0 = y0;
    snprintf(command, sizeof command, ".tMain.cDisplay coords 1 %d %d", std::max(x0, 0),
             std::max(y0, 0));
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

// Reads a whole decimal number; false for anything else.
static bool parse_double(const char *text, double *value) {
    char *end;
    double v = strtod(text, &end);
    if (end == text || *end || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

// The scroll offset that puts the image point now under canvas position
// `at` there again at the scale `zoom` (the full photo's interior starts
// one pixel inside its border).
static int64_t keep_under(double at, int origin, double old_zoom, double zoom) {
    const double image = (at - origin - 1) / old_zoom;
    return std::llround(std::clamp(1 + image * zoom - at, -double(MAX_SCALED), double(MAX_SCALED)));
}

int GuiDispView(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    static const char syntax[] = "syntax: GuiDispView fit | GuiDispView num den ?cx cy?";
    if (argc == 2 && strcmp(argv[1], "fit") == 0) {
        ViewNum = 0;
        ViewDen = 1;
        return paint_command(interp, DispPaint);
    }
    int64_t num, den;
    double cx = DispWidth / 2.0, cy = DispHeight / 2.0;
    if ((argc != 3 && argc != 5) || !parse_wide(argv[1], &num) || !parse_wide(argv[2], &den) ||
        num < 1 || den < 1 || num > 64 || den > 64 ||
        (argc == 5 && (!parse_double(argv[3], &cx) || !parse_double(argv[4], &cy))))
        return TclFail(interp, syntax);
    const double zoom = double(num) / double(den);
    if (DispZoom > 0) {
        ViewLeft = keep_under(cx, DispX0, DispZoom, zoom);
        ViewTop = keep_under(cy, DispY0, DispZoom, zoom);
    }
    ViewNum = int(num);
    ViewDen = int(den);
    return paint_command(interp, DispPaint);
}

int GuiDispPan(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    int64_t dx, dy;
    if (argc != 3 || !parse_wide(argv[1], &dx) || !parse_wide(argv[2], &dy))
        return TclFail(interp, "syntax: GuiDispPan dx dy");
    ViewLeft = std::clamp<int64_t>(ViewLeft + std::clamp<int64_t>(dx, -MAX_SCALED, MAX_SCALED), 0, MAX_SCALED);
    ViewTop = std::clamp<int64_t>(ViewTop + std::clamp<int64_t>(dy, -MAX_SCALED, MAX_SCALED), 0, MAX_SCALED);
    return paint_command(interp, DispPaint);
}
