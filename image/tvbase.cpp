// Lisp functions of pixel access, geometry and arithmetic: argument checks,
// re-framing of the image arguments, allocation of the result and one call
// of the image library per pixel type.
#include "image/base.h"
#include "image/tvimage.h"

#include <cstdint>

namespace {

// ------------------------------------------------------------------ helpers

// A new image of the frame of the given type (BIN, GREY or COL).
node newof(int type) {
    if (type == BIN) return tvbinnew();
    if (type == GREY) return tvgreynew();
    return tvcolnew();
}

// The largest pixel value of a type; values are compared unsigned.
uint32_t maxvalue(int type) { return type == BIN ? 1 : type == GREY ? 255 : 0xFFFFFF; }
bool validvalue(node img, int v) { return uint32_t(v) <= maxvalue(ntype(img)); }

// Whether the plane point (x, y) lies in the image's own rectangle.
bool inside(node img, int x, int y) {
    const s_image &r = tvrecord(img);
    return int64_t(x) >= r.x0 && int64_t(x) < int64_t(r.x0) + r.w && int64_t(y) >= r.y0 &&
           int64_t(y) < int64_t(r.y0) + r.h;
}

// The next argument, a GREY or COL value (else the type error).
node arggreycol() {
    node x = ksarg();
    int t = ntype(x);
    if (t != GREY && t != COL) {
        tvcheckima(x);   // a released image gets its own message
        ksbadtype(x);
    }
    return x;
}

// x must be an image of the given type or a FIXNUM; a released image gets
// its own message, anything else aborts with msg.
void imageorfix(node x, int type, const char *msg) {
    if (fixp(x) || ntype(x) == type) return;
    if (tvreleased(x)) ksfail("image was released by freeall");
    ksabort(msg);
}

// The angle argument in degrees (FIXNUM or FLONUM) as radians held in a float.
float argangle(const char *usage) {
    node a = ksarg();
    double deg;
    if (fixp(a)) deg = getfixnum(a);
    else if (floatp(a)) deg = getflonum(a);
    else ksabort(usage);
    return float(deg * 0.017453292519943295);
}

// A new image of img's type holding a copy of img (img has the frame's geometry).
node copyof(node img) {
    ksguard g(&img);
    node res = newof(ntype(img));
    int s = getimage(img), d = getimage(res);
    if (ntype(img) == BIN) bincopy(s, d);
    else if (ntype(img) == GREY) greycopy(s, d);
    else colcopy(s, d);
    return res;
}

node shown(node img) {
    tvdisplay(img);
    return img;
}

}  // namespace

// ============================================================== pixel access

node xrpix() {
    if (!moreargs()) ksabort("rpix ima (x y)");
    node img = tvargima();
    int x, y;
    ksga2fix(&x, &y);
    kslastarg();
    if (!inside(img, x, y)) ksabort("rpix, wrong (x y)");
    int h = getimage(img);
    int v = ntype(img) == BIN ? binrpix(h, x, y) : ntype(img) == GREY ? greyrpix(h, x, y) : colrpix(h, x, y);
    return cvfixnum(v);
}

node xwpix() {
    if (!moreargs()) ksabort("wpix ima (x y) val");
    node img = tvargima();
    int x, y;
    ksga2fix(&x, &y);
    int v = getfixnum(ksargfix());
    kslastarg();
    if (!inside(img, x, y)) ksabort("wpix, wrong (x y)");
    if (!validvalue(img, v)) ksabort("wpix, wrong val");
    int h = getimage(img);
    if (ntype(img) == BIN) binwpix(h, x, y, v);
    else if (ntype(img) == GREY) greywpix(h, x, y, v);
    else colwpix(h, x, y, v);
    return shown(img);
}

node xwline() {
    if (!moreargs()) ksabort("wline ima (x1 y1 x2 y2) val");
    node img = tvargima();
    int x1, y1, x2, y2;
    ksga4fix(&x1, &y1, &x2, &y2);
    int v = getfixnum(ksargfix());
    kslastarg();
    if (!inside(img, x1, y1) || !inside(img, x2, y2)) ksabort("wline, wrong (x y)");
    if (!validvalue(img, v)) ksabort("wline, wrong val");
    int h = getimage(img);
    if (ntype(img) == BIN) binwline(h, x1, y1, x2, y2, v);
    else if (ntype(img) == GREY) greywline(h, x1, y1, x2, y2, v);
    else colwline(h, x1, y1, x2, y2, v);
    return shown(img);
}

node xbord() {
    if (!moreargs()) ksabort("bord ima val");
    node img = tvargima();
    int v = getfixnum(ksargfix());
    kslastarg();
    if (!validvalue(img, v)) ksabort("bord, wrong val");
    const s_image &r = tvrecord(img);
    int h = getimage(img);
    if (ntype(img) == BIN) binbord(h, v, r.x0, r.y0, r.w, r.h);
    else if (ntype(img) == GREY) greybord(h, v, r.x0, r.y0, r.w, r.h);
    else colbord(h, v, r.x0, r.y0, r.w, r.h);
    return shown(img);
}

// ================================================================== geometry

node xcopy() {
    if (!moreargs()) ksabort("copy ima");
    node img = tvargima();
    kslastarg();
    return shown(copyof(tvconvert(img)));
}

node xshift() {
    if (!moreargs()) ksabort("shift ima dx dy");
    node img = tvargima();
    int dx = getfixnum(ksargfix());
    int dy = getfixnum(ksargfix());
    kslastarg();
    if (dx <= -ifw || dx >= ifw || dy <= -ifh || dy >= ifh) ksabort("shift, wrong dx dy");
    img = tvconvert(img);
    ksguard g(&img);
    node res = newof(ntype(img));
    int s = getimage(img), d = getimage(res);
    if (ntype(img) == BIN) binshift(s, d, dx, dy);
    else if (ntype(img) == GREY) greyshift(s, d, dx, dy);
    else colshift(s, d, dx, dy);
    return shown(res);
}

// Turns the frames with the image: the image frame is transposed (origin
// and size), the measure frame keeps its place relative to the picture.
static void rot90frames(int dir) {
    const int ox = mfx - ifx, oy = mfy - ify;
    const int ow = ifw, oh = ifh, omw = mfw, omh = mfh;
    iframe(ify, ifx, ifh, ifw);
    if (dir == 1) mframe(ifx + oh - oy - omh, ify + ox, omh, omw);
    else mframe(ifx + oy, ify + ow - ox - omw, omh, omw);
    tvframeschanged();
}

node xrot90() {
    if (!moreargs()) ksabort("rot90 ima +1|-1");
    node img = tvargima();
    int dir = getfixnum(ksargfix());
    kslastarg();
    if (dir != 1 && dir != -1) ksabort("rot90 ima +1|-1");
    img = tvconvert(img);
    ksguard g(&img);
    rot90frames(dir);
    node res = newof(ntype(img));
    int s = getimage(img), d = getimage(res);
    if (ntype(img) == BIN) binrot90(s, d, dir);
    else if (ntype(img) == GREY) greyrot90(s, d, dir);
    else colrot90(s, d, dir);
    return shown(res);
}

node xrot() {
    if (!moreargs()) ksabort("rot ima angle");
    node img = tvargima();
    float a = argangle("rot ima angle");
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res = newof(ntype(img));
    int s = getimage(img), d = getimage(res);
    if (ntype(img) == BIN) binrot(s, d, a);
    else if (ntype(img) == GREY) greyrot(s, d, a);
    else colrot(s, d, a);
    return shown(res);
}

node xrotbil() {
    const char *usage = "rotbil ima angle (with ima=grey|col)";
    if (!moreargs()) ksabort(usage);
    node img = arggreycol();
    float a = argangle(usage);
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res = newof(ntype(img));
    if (ntype(img) == GREY) greyrotbil(getimage(img), getimage(res), a);
    else colrotbil(getimage(img), getimage(res), a);
    return shown(res);
}

// The zoom factors: two FLONUMs, fx > 0 and fy >= 0.
static void argzoom(float *fx, float *fy) {
    *fx = getflonum(ksargflo());
    *fy = getflonum(ksargflo());
    kslastarg();
    if (!(*fx > 0) || !(*fy >= 0)) ksabort("zoom, wrong fx fy");
}

node xzoom() {
    if (!moreargs()) ksabort("zoom ima fx fy ");
    node img = tvargima();
    float fx, fy;
    argzoom(&fx, &fy);
    img = tvconvert(img);
    ksguard g(&img);
    node res = newof(ntype(img));
    int s = getimage(img), d = getimage(res);
    if (ntype(img) == BIN) binzoom(s, d, fx, fy);
    else if (ntype(img) == GREY) greyzoom(s, d, fx, fy);
    else colzoom(s, d, fx, fy);
    return shown(res);
}

node xzoombil() {
    if (!moreargs()) ksabort("zoombil ima fx fy (with ima=grey|col)");
    node img = arggreycol();
    float fx, fy;
    argzoom(&fx, &fy);
    img = tvconvert(img);
    ksguard g(&img);
    node res = newof(ntype(img));
    if (ntype(img) == GREY) greyzoombil(getimage(img), getimage(res), fx, fy);
    else colzoombil(getimage(img), getimage(res), fx, fy);
    return shown(res);
}

node xtrapezoid() {
    if (!moreargs()) ksabort("trapezoid ima line (with ima=grey|col)");
    node img = arggreycol();
    int x1, y1, x2, y2;
    ksga4fix(&x1, &y1, &x2, &y2);
    kslastarg();
    int v = trapezoidrow(x1, y1, x2, y2);
    img = tvconvert(img);
    ksguard g(&img);
    node res = newof(ntype(img));
    if (ntype(img) == GREY) greytrapezoid(getimage(img), getimage(res), v);
    else coltrapezoid(getimage(img), getimage(res), v);
    return shown(res);
}

// ================================================================ arithmetic

namespace {

typedef void (*pointop)(int srcorconst, int dst, int mode);

// ADD, ADDL, SUB, SUBL: the first image copied, then every further image
// (same type) or FIXNUM folded in, in order.
node arith(const char *usage, pointop greyop, pointop colop) {
    if (!moreargs()) ksabort(usage);
    node res = copyof(tvconvert(arggreycol()));
    ksguard g(&res);
    const int type = ntype(res);
    pointop op = type == GREY ? greyop : colop;
    while (moreargs()) {
        node x = nextarg();
        imageorfix(x, type, usage);
        if (fixp(x)) op(getfixnum(x), getimage(res), OP_CONST);
        else op(getimage(tvconvert(x)), getimage(res), OP_IMAGE);
    }
    return shown(res);
}

typedef void (*factop)(int srcorconst, int dst, int fact, int mode);

// MULTL, DIV: ima ima|fix &opt fact.
node factarith(const char *usage, const char *name, factop greyop, factop colop) {
    if (!moreargs()) ksabort(usage);
    node a = arggreycol();
    node b = ksarg();
    int fact = moreargs() ? getfixnum(ksargfix()) : 1;
    kslastarg();
    const int type = ntype(a);
    imageorfix(b, type, usage);
    if (name[0] == 'm' && fact == 0) ksabort("multl, fact!=0");
    if (name[0] == 'd' && fixp(b)) {
        int c = getfixnum(b);
        bool zero = type == GREY ? c == 0 : !(c & 0xFF0000) || !(c & 0xFF00) || !(c & 0xFF);
        if (zero) ksabort("div, division by 0");
    }
    node res = copyof(tvconvert(a));
    ksguard g(&res);
    factop op = type == GREY ? greyop : colop;
    if (fixp(b)) op(getfixnum(b), getimage(res), fact, OP_CONST);
    else op(getimage(tvconvert(b)), getimage(res), fact, OP_IMAGE);
    return shown(res);
}

typedef void (*foldop)(int src, int dst);

// SUP, INF: the first image copied, every further image of its type folded in.
node extremum(const char *usage, const char *typemsg, foldop binop, foldop greyop, foldop colop) {
    if (!moreargs()) ksabort(usage);
    node res = copyof(tvconvert(tvargima()));
    ksguard g(&res);
    const int type = ntype(res);
    foldop op = type == BIN ? binop : type == GREY ? greyop : colop;
    while (moreargs()) {
        node x = nextarg();
        if (ntype(x) != type) {
            if (tvreleased(x)) ksfail("image was released by freeall");
            ksabort(typemsg);
        }
        op(getimage(tvconvert(x)), getimage(res));
    }
    return shown(res);
}

}  // namespace

node xiadd() { return arith("add ima ima|fix ... (with ima=grey|col)", greyadd, coladd); }
node xiaddl() { return arith("addl ima ima|fix ... (with ima=grey|col)", greyaddl, coladdl); }
node xisub() { return arith("sub ima ima|fix ... (with ima=grey|col)", greysub, colsub); }
node xisubl() { return arith("subl ima ima|fix ... (with ima=grey|col)", greysubl, colsubl); }
node ximultl() {
    return factarith("multl ima ima|fix &opt fact (with ima=grey|col)", "multl", greymultl, colmultl);
}
node xidiv() { return factarith("div ima ima|fix &opt fact (with ima=grey|col)", "div", greydiv, coldiv); }
node xsup() { return extremum("sup ima1 ima2 ...", "sup, same type of images required", binsup, greysup, colsup); }
node xinf() { return extremum("inf ima1 ima2 ...", "inf, same type of images required", bininf, greyinf, colinf); }

// MASK ima1|fix1 bin ima2|fix2: the result is COL when either image is COL,
// else GREY; it starts as ima2 (or fix2) and takes ima1 (or fix1) where the
// mask is 1.
node xmask() {
    if (!moreargs()) ksabort("mask ima1|fix1 bin ima2|fix2 (with ima=grey|col)");
    node a1 = ksarg();
    node m = tvargbin();
    node a2 = ksarg();
    kslastarg();
    const int type = ntype(a1) == COL || ntype(a2) == COL ? COL : GREY;
    for (node x : {a1, a2}) {
        if (fixp(x) || ntype(x) == type) continue;
        tvcheckima(x);
        ksbadtype(x);
    }
    ksguard g(&a1, &m, &a2);
    if (!fixp(a1)) a1 = tvconvert(a1);
    m = tvconvert(m);
    node res;
    if (fixp(a2)) {
        res = newof(type);
        if (type == GREY) greyset(getimage(res), getfixnum(a2));
        else colset(getimage(res), getfixnum(a2));
    } else {
        res = copyof(tvconvert(a2));
    }
    const int mode = fixp(a1) ? OP_CONST : OP_IMAGE;
    const int sc = fixp(a1) ? getfixnum(a1) : getimage(a1);
    if (type == GREY) greymask(sc, getimage(m), getimage(res), mode);
    else colmask(sc, getimage(m), getimage(res), mode);
    return shown(res);
}

node xcombine() {
    if (!moreargs()) ksabort("combine f1 ima1 f2 ima2 (with ima=grey|col)");
    float f1 = getflonum(ksargflo());
    node a = arggreycol();
    float f2 = getflonum(ksargflo());
    node b = ksarg();
    kslastarg();
    if (ntype(b) != ntype(a)) {
        tvcheckima(b);
        ksbadtype(b);
    }
    ksguard g(&a, &b);
    a = tvconvert(a);
    node res = copyof(tvconvert(b));
    if (ntype(a) == GREY) greycombine(f1, getimage(a), f2, getimage(res));
    else colcombine(f1, getimage(a), f2, getimage(res));
    return shown(res);
}
