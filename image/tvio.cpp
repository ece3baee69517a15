// Lisp functions of image files: IMASAVE and IMALOAD, through the native
// format or a filter module, and the release of the filter at shutdown.
#include "image/io.h"
#include "image/tvimage.h"

#include <cstring>

namespace {

// The bound filter's error text, copied before the filter (which may own
// the text) is unbound.
char Message[256];

// Binds a filter for the length of one call and unbinds it however the
// call ends (which also closes, or for a write abandons, the file).
struct filterscope {
    explicit filterscope(const char *name) { loadfilter(name); }
    ~filterscope() { freefilter(); }
    filterscope(const filterscope &) = delete;
    filterscope &operator=(const filterscope &) = delete;
};

[[noreturn]] void filterfailed() {
    const char *text = filter.filtererror ? filter.filtererror() : nullptr;
    snprintf(Message, sizeof Message, "%s", text ? text : "filter error");
    ksabort(Message);
}

// The next argument as a C string, or NULL when there is none.
const char *optionalstring() { return moreargs() ? getstring(ksargstr()) : nullptr; }

// The file name argument; a name holding a NUL byte is refused.
const char *filename(const char *usage) {
    const char *name = ksfilename(ksargstr());
    if (!name) ksabort(usage);
    return name;
}

// The optional filter name; one holding a NUL byte names no module.
const char *filtername() {
    if (!moreargs()) return nullptr;
    const char *name = ksfilename(ksargstr());
    if (!name) ksabort("can't load filter module");
    return name;
}

// Keeps the frames as they were unless the load completes: a file that
// fails half-way changes nothing. Only the globals are restored (nothing
// that could fail while unwinding); the GUI hears of the new frames once
// the image is complete.
struct framesguard {
    int32_t x = ifx, y = ify, w = ifw, h = ifh, mx = mfx, my = mfy, mw = mfw, mh = mfh;
    bool done = false;
    framesguard() = default;
    framesguard(const framesguard &) = delete;
    framesguard &operator=(const framesguard &) = delete;
    ~framesguard() {
        if (done) return;
        iframe(x, y, w, h);
        mframe(mx, my, mw, mh);
    }
};

int depthof(node img) {
    switch (ntype(img)) {
    case BIN: return 1;
    case GREY: return 8;
    default: return 24;
    }
}

}  // namespace

// (IMASAVE ima name &opt filter options): writes the image in its own
// geometry; T.
node ximasave() {
    if (!moreargs()) ksabort("imasave ima name &opt filter options");
    node img = tvargima();
    const char *name = filename("imasave, NUL character in file name");
    const char *module = filtername();
    const char *options = optionalstring();
    kslastarg();
    const s_image &r = tvrecord(img);
    filterscope bound(module);
    if (!filter.filterfopen(name, true) ||
        !filter.filterwriteheader(r.x0, r.y0, r.w, r.h, depthof(img), options) ||
        !filter.filterwritedata(r.data))
        filterfailed();
    return s_true;
}

// (IMALOAD name &opt filter options): the image of the file, in both frames
// set to its geometry; displayed. A failure leaves the frames as they were.
node ximaload() {
    if (!moreargs()) ksabort("imaload name &opt filter options");
    const char *name = filename("imaload, NUL character in file name");
    const char *module = filtername();
    const char *options = optionalstring();
    kslastarg();
    filterscope bound(module);
    int x0 = 0, y0 = 0, w = 0, h = 0, depth = 0;
    if (!filter.filterfopen(name, false) ||
        !filter.filterreadheader(&x0, &y0, &w, &h, &depth, options))
        filterfailed();
    if (!loadableheader(x0, y0, w, h, depth)) ksabort("imaload, wrong format");
    framesguard keep;
    frames(x0, y0, w, h);
    node img = depth == 8 ? tvgreynew() : depth == 24 ? tvcolnew() : tvbinnew();
    if (!filter.filterreaddata(tvdata(img))) filterfailed();
    keep.done = true;
    tvframeschanged();
    tvdisplay(img);
    return img;
}

// Called when the interpreter ends: closes a file an abort left open and
// unloads the module.
void tviofinish() { freefilter(); }
