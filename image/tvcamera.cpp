// Lisp functions of camera capture: CAMINIT, CAMFREE, CAMSNAP, CAMREAD and
// CAMLUT over the loaded camera module, and its release at shutdown.
#include "image/camera.h"
#include "image/tvimage.h"

#include <cstdint>
#include <cstring>

namespace {

// The module's error text, copied before the abort (the module owns it).
char Message[256];

[[noreturn]] void tvcamerafailed() {
    const char *text = camera.camerror ? camera.camerror() : nullptr;
    snprintf(Message, sizeof Message, "%s", text ? text : "camera error");
    ksabort(Message);
}

void needcamera() {
    if (!cameraok()) ksabort("initialize first the camera module");
}

// The poll while a camera module waits (for a camera, a frame, a queue).
// A user break there ends the evaluation without a break loop: a break loop
// could call into the module again, and CAMFREE or CAMINIT would even
// unload the code that waits below it.
void tvcamerapoll() {
    if (!s_breakenable) return oscheck();
    node enabled = getvalue(s_breakenable);
    ksguard g(&enabled);
    struct restore {
        node &value;
        ~restore() { setvalue(s_breakenable, value); }
    } r{enabled};
    setvalue(s_breakenable, NIL);
    oscheck();
}

// The next argument as a C string, or NULL when there is none.
const char *optionalstring() { return moreargs() ? getstring(ksargstr()) : nullptr; }

// Whether a header from the module describes an image that can be made:
// a size of 1 to 4096 pixels each way, an origin that keeps the frame's
// far corner representable, and depth 1, 8 or 24.
bool supported(int x, int y, int w, int h, int depth) {
    return x >= 0 && y >= 0 && w >= 1 && w <= MAXFRAME && h >= 1 && h <= MAXFRAME &&
           int64_t(x) + w <= INT32_MAX && int64_t(y) + h <= INT32_MAX &&
           (depth == 1 || depth == 8 || depth == 24);
}

// The grey border is the host's: it is cleared so that the image holds no
// undefined bytes whatever the module writes inside.
void cleargreyborder(node img) {
    const s_image &r = tvrecord(img);
    size_t stride = size_t(r.w) + 2, rows = size_t(r.h) + 2;
    memset(r.data, 0, stride);
    memset(r.data + (rows - 1) * stride, 0, stride);
    for (size_t y = 1; y + 1 < rows; ++y) {
        r.data[y * stride] = 0;
        r.data[y * stride + stride - 1] = 0;
    }
}

constexpr const char *LUTUSAGE = "camlut lut = ((old . new)(old . new) ...)";

}  // namespace

// (CAMINIT name &opt options): loads the module and initialises it; T.
node xcaminit() {
    if (!moreargs()) ksabort("(caminit name &opt options)");
    const char *name = ksfilename(ksargstr());
    const char *options = optionalstring();
    kslastarg();
    if (!name) {   // a NUL byte would cut the name short: no such module
        freecamera();
        ksabort("can't load the library");
    }
    loadcamera(name);
    if (!camera.caminit(options)) tvcamerafailed();
    return s_true;
}

// (CAMFREE): releases the module, if any; T.
node xcamfree() {
    if (moreargs()) ksabort("(camfree)");
    freecamera();
    return s_true;
}

// (CAMSNAP nr &opt options): selects camera nr and starts an acquisition; T.
node xcamsnap() {
    if (!moreargs()) ksabort("(camsnap nr &opt options)");
    int nr = getfixnum(ksargfix());
    const char *options = optionalstring();
    kslastarg();
    needcamera();
    tvbreakpoll poll(tvcamerapoll);
    if (!camera.camsnap(nr, options)) tvcamerafailed();
    return s_true;
}

// (CAMREAD): the acquired image as a new image; both frames become the
// camera's region, which thus frames all later operations.
node xcamread() {
    if (moreargs()) ksabort("(camread)");
    needcamera();
    tvbreakpoll poll(tvcamerapoll);
    int x = 0, y = 0, w = 0, h = 0, depth = 0;
    if (!camera.camreadheader(&x, &y, &w, &h, &depth)) tvcamerafailed();
    if (!supported(x, y, w, h, depth)) ksabort("not supported format");
    frames(x, y, w, h);
    tvframeschanged();
    node img = depth == 8 ? tvgreynew() : depth == 24 ? tvcolnew() : tvbinnew();
    if (depth == 8) cleargreyborder(img);
    if (!camera.camreaddata(tvdata(img))) tvcamerafailed();
    tvdisplay(img);
    return img;
}

// (CAMLUT lut): sends the table old -> new made from the pairs of lut over
// the identity; a later pair for the same old value wins. NIL sends the
// identity. Old values are 0-255; a new value may be negative (its low 8
// bits are stored) but not above 255. T.
node xcamlut() {
    if (!moreargs()) ksabort("camlut lut");
    node lut = ksarglist();
    kslastarg();
    needcamera();
    unsigned char table[256];
    for (int i = 0; i < 256; ++i) table[i] = (unsigned char)i;
    for (node l = lut; consp(l); l = cdr(l)) {
        node pair = car(l);
        if (!consp(pair) || !fixp(car(pair)) || !fixp(cdr(pair))) ksabort(LUTUSAGE);
        int32_t oldv = getfixnum(car(pair)), newv = getfixnum(cdr(pair));
        if (oldv < 0 || oldv > 255 || newv > 255) ksabort(LUTUSAGE);
        table[oldv] = (unsigned char)(newv & 0xFF);
    }
    if (!camera.camlut(table)) tvcamerafailed();
    return s_true;
}

// Called when the interpreter ends: releases the module.
void tvcamfinish() { freecamera(); }
