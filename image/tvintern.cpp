// The image layer of the interpreter: image values and their allocation
// under the image-memory budget, re-framing of arguments, release by the
// collector, start-up and shutdown, and the Lisp functions that manage
// images and frames as such.
#include "image/tvimage.h"
#include "image/tvhooks.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

// Hooks of other parts of the image layer: the feature buffer (tvmeas.cpp),
// the camera module (tvcamera.cpp) and the file filter (tvio.cpp).
void tvmeasinit();
void tvcamfinish();
void tviofinish();

// ------------------------------------------------------------ argument checks
node tvcheckima(node x) {
    int t = ntype(x);
    if (t == BIN || t == GREY || t == COL) return x;
    if (tvreleased(x)) ksfail("image was released by freeall");
    ksbadtype(x);
}

node tvargima() { return tvcheckima(ksarg()); }

static node argoftype(int type) {
    node x = ksarg();
    if (ntype(x) != type) {
        if (tvreleased(x)) ksfail("image was released by freeall");
        ksbadtype(x);
    }
    return x;
}
node tvargbin() { return argoftype(BIN); }
node tvarggrey() { return argoftype(GREY); }
node tvargcol() { return argoftype(COL); }

// The next argument as a list of exactly n FIXNUMs.
static void fixlistarg(int n, int *out[]) {
    node list = ksarg();
    node p = list;
    for (int i = 0; i < n; ++i, p = cdr(p)) {
        if (!consp(p) || !fixp(car(p))) ksbadtype(list);
        *out[i] = getfixnum(car(p));
    }
    if (p) ksbadtype(list);
}

void ksga2fix(int *a, int *b) {
    int *out[] = {a, b};
    fixlistarg(2, out);
}
void ksga3fix(int *a, int *b, int *c) {
    int *out[] = {a, b, c};
    fixlistarg(3, out);
}
void ksga4fix(int *a, int *b, int *c, int *d) {
    int *out[] = {a, b, c, d};
    fixlistarg(4, out);
}

// A list of FIXNUMs, built from the end with the partial list protected.
node tvfixlist(std::initializer_list<int> values) {
    node list = NIL;
    ksguard g(&list);
    for (auto it = std::rbegin(values); it != std::rend(values); ++it) {
        node n = cvfixnum(*it);
        list = cons(n, list);   // cons protects its own arguments
    }
    return list;
}

// ------------------------------------------------------------ allocation
// Image memory grown by more than this since the last collection is mostly
// garbage in a loop that drops its results: collecting then gives the
// blocks back to the image store's cache before fresh memory is touched.
static constexpr int64_t GC_GROWTH = int64_t(32) << 20;

// True when image memory grew by more than GC_GROWTH since the last
// collection (whoever ran it).
static bool grownsincegc() {
    static int32_t seen = -1;
    static int64_t base;
    if (gccalls != seen) {
        seen = gccalls;
        base = mem_used;
    }
    return mem_used - base > GC_GROWTH;
}

// Creates an image of the current frame under the budget: a collection is
// tried when the handles or the budget run short (the test is strict, so an
// image that would exactly fill the budget is refused), or when image
// memory grew a lot since the last one.
static node allocate(int type, int depth) {
    int64_t size = imagebytes(ifw, ifh, depth);
    if (grownsincegc()) gc();
    if (!(id_used < MAXIMAGES && mem_used + size < fieldsize)) {
        gc();
        if (mem_used + size >= fieldsize) ksabort("no more image memory");
    }
    // The node exists before the image, so that no allocation can fail
    // between creating the image and handing it to its owner.
    node v = newnode(FIXNUM);
    int handle = newimage(ifx, ify, ifw, ifh, depth);
    v->n_type = uint8_t(type);
    v->a.raw = 0;
    v->a.i = handle;
    return v;
}

node tvbinnew() { return allocate(BIN, 1); }
node tvgreynew() { return allocate(GREY, 8); }
node tvcolnew() { return allocate(COL, 24); }
node tvlgreynew() { return allocate(LGREY, 16); }
node tvfgreynew() { return allocate(FGREY, 32); }

node tvconvert(node img) {
    tvcheckima(img);
    const s_image &r = tvrecord(img);
    if (r.x0 == ifx && r.y0 == ify && r.w == ifw && r.h == ifh) return img;
    ksguard g(&img);
    node fresh = ntype(img) == GREY ? tvgreynew() : ntype(img) == COL ? tvcolnew() : tvbinnew();
    convert(getimage(img), getimage(fresh));
    return fresh;
}

// Called by the sweep and by operators for their working images; must not
// raise an error, since it runs inside the collector.
void tvfreeimage(node img) {
    if (imagep(img)) {
        int h = getimage(img);
        if (h >= 0 && h < MAXIMAGES && imarray[h].inuse) freeimage(h);
    }
    img->n_type = FREE;
    img->a.raw = TV_RELEASED;
    img->b.raw = 0;
}

// ------------------------------------------------------------ start and end
void tvinit() {
    set_ima_error(ksabort);
    set_ima_cachelimit(fieldsize);
    imainit();
    tvdispinit();
    for (const char *name : {"BIN", "GREY", "COL", "LGREY", "FGREY"}) ksenter(name);
    tvmeasinit();
}

void tvfinish() {
    tvcamfinish();
    tviofinish();
}

void tvregister() {
    ksimage = {tvinit, tvfinish, tvdispnow, tvfreeimage, tvqinfo, tvmeminfo, tvframes};
    ksaddfuntab(2, funtab2);
    ksaddfuntab(3, funtab3);
}

void tvmeminfo() {
    char buf[128];
    snprintf(buf, sizeof buf, "id used: %d field mem used/free: %" PRId64 "  %" PRId64 "\n",
             id_used, mem_used, fieldsize - mem_used);
    stdputstr(buf);
}

// ------------------------------------------------------------ predicates
static node typepredicate(bool (*test)(int)) {
    node x = ksarg();
    kslastarg();
    return test(ntype(x)) ? s_true : NIL;
}

node xbinp() { return typepredicate([](int t) { return t == BIN; }); }
node xgreyp() { return typepredicate([](int t) { return t == GREY; }); }
node xcolp() { return typepredicate([](int t) { return t == COL; }); }
node ximap() { return typepredicate([](int t) { return t == BIN || t == GREY || t == COL; }); }

// ------------------------------------------------------------ images as such
node xinfo() {
    if (!moreargs()) ksabort("info ima");
    node img = tvargima();
    kslastarg();
    const s_image &r = tvrecord(img);
    return tvfixlist({r.x0, r.y0, r.w, r.h});
}

node xsetorg() {
    if (!moreargs()) ksabort("setorg ima (x0 y0)");
    node img = tvargima();
    int x0, y0;
    ksga2fix(&x0, &y0);
    kslastarg();
    if (x0 < 0 || x0 > MAXFRAME - 1 || y0 < 0 || y0 > MAXFRAME - 1) ksabort("not supported format");
    tvrecord(img).x0 = x0;
    tvrecord(img).y0 = y0;
    tvdisplay(img);
    return img;
}

// The fill functions share their shape: usage, FIXNUM value, range, fill.
static node fill(const char *usage, int lo, int hi, node (*make)(), void (*set)(int, int)) {
    if (!moreargs()) ksabort(usage);
    int v = getfixnum(ksargfix());
    kslastarg();
    if (v < lo || v > hi) ksabort(usage);
    node img = make();
    set(getimage(img), v);
    tvdisplay(img);
    return img;
}

node xbinset() { return fill("binset 0|1", 0, 1, tvbinnew, binset); }
node xgreyset() { return fill("greyset 0-255", 0, 255, tvgreynew, greyset); }
node xcolset() { return fill("colset 0-16777215", 0, 16777215, tvcolnew, colset); }

// ------------------------------------------------------------ frames
node xframes() {
    if (!moreargs()) ksabort("frames (x y w h)");
    int x, y, w, h;
    ksga4fix(&x, &y, &w, &h);
    kslastarg();
    if (!framefits(x, y, w, h)) ksabort("frames (x y w h)");
    frames(x, y, w, h);
    tvframeschanged();
    return NIL;
}

node xiframe() {
    if (moreargs()) {
        int x, y, w, h;
        ksga4fix(&x, &y, &w, &h);
        kslastarg();
        if (!framefits(x, y, w, h)) ksabort("iframe (x y w h)");
        iframe(x, y, w, h);
        tvframeschanged();
    }
    return tvfixlist({ifx, ify, ifw, ifh});
}

node xmframe() {
    if (moreargs()) {
        int x, y, w, h;
        ksga4fix(&x, &y, &w, &h);
        kslastarg();
        mframe(x, y, w, h);
        tvframeschanged();
    }
    return tvfixlist({mfx, mfy, mfw, mfh});
}

// ------------------------------------------------------------ INDEX, FREEALL
// (INDEX table): the names of a function table, sorted by strcmp; equal
// names keep their table order.
node xindex() {
    if (!moreargs()) ksabort("index lisp|ima|test");
    node sym = ksarg();
    if (!symbolp(sym)) ksbadtype(sym);
    kslastarg();
    const char *name = symname(sym);
    const funrow *table = nullptr;
    int first = 0;
    if (strcmp(name, "LISP") == 0) {
        table = ksfuntab(1);
        first = 20;
    } else if (strcmp(name, "TEST") == 0) {
        table = ksfuntab(2);
    } else if (strcmp(name, "IMA") == 0) {
        table = ksfuntab(3);
    }
    if (!table) ksabort("index lisp|ima|test");
    std::vector<const char *> names;
    for (const funrow *r = table + first; r->fn; ++r)
        if (r->name) names.push_back(r->name);
    std::stable_sort(names.begin(), names.end(),
                     [](const char *a, const char *b) { return strcmp(a, b) < 0; });
    node list = NIL;
    ksguard g(&list);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        node s = cvstring(*it);
        list = cons(s, list);
    }
    return list;
}

// (FREEALL): one collection in free-all mode releases the image of every
// BIN, GREY and COL value, referenced or not.
node xfreeall() {
    if (moreargs()) ksabort("freeall");
    struct mode_guard {
        mode_guard() { freeall = 1; }
        ~mode_guard() { freeall = 0; }
    } mode;
    gc();
    tvredisplay();
    return NIL;
}

