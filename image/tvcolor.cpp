// Lisp functions of the colour operators: colour numbers to and from
// (r g b) lists, splitting and merging grey planes, IHS conversions,
// intensity and distances to a reference colour.
#include "image/color.h"
#include "image/tvimage.h"

namespace {

node shown(node img) {
    tvdisplay(img);
    return img;
}

typedef void (*colop)(int col, int dst);

// RGB-IHS, IHS-RGB, INTENSITY: one colour argument, one new image.
node convertcol(const char *usage, colop op, bool greyresult) {
    if (!moreargs()) ksabort(usage);
    node img = tvargcol();
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res = greyresult ? tvgreynew() : tvcolnew();
    op(getimage(img), getimage(res));
    return shown(res);
}

typedef void (*refop)(int col, int grey, int colour);

// COLSPHERE, COLCONE: a colour image and a reference colour number.
node reference(const char *usage, refop op) {
    if (!moreargs()) ksabort(usage);
    node img = tvargcol();
    int colour = getfixnum(ksargfix());
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    op(getimage(img), getimage(res), colour);
    return shown(res);
}

}  // namespace

node xfixrgb() {
    if (!moreargs()) ksabort("fix-rgb val");
    int v = getfixnum(ksargfix());
    kslastarg();
    return tvfixlist({(v >> 16) & 255, (v >> 8) & 255, v & 255});
}

node xrgbfix() {
    if (!moreargs()) ksabort("rgb-fix (r g b)");
    int r, g, b;
    ksga3fix(&r, &g, &b);
    kslastarg();
    return cvfixnum(int32_t(uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b)));
}

node xcolgrey() {
    if (!moreargs()) ksabort("col-grey col");
    node img = tvargcol();
    kslastarg();
    img = tvconvert(img);
    node r = nullptr, g = nullptr, b = nullptr, list = nullptr;
    ksguard guard(&img, &r, &g, &b, &list);
    r = tvgreynew();
    g = tvgreynew();
    b = tvgreynew();
    colgrey(getimage(img), getimage(r), getimage(g), getimage(b));
    list = cons(b, nullptr);
    list = cons(g, list);
    list = cons(r, list);
    tvdisplay(r);
    return list;
}

node xgreycol() {
    if (!moreargs()) ksabort("grey-col (r g b)");
    node list = ksarglist();
    kslastarg();
    node planes[3];
    node p = list;
    for (int i = 0; i < 3; ++i, p = cdr(p)) {
        if (!consp(p) || ntype(car(p)) != GREY) ksabort("grey-col (r g b)");
        planes[i] = car(p);
    }
    if (p) ksabort("grey-col (r g b)");
    ksguard g(&planes[0], &planes[1], &planes[2]);
    for (node &plane : planes) plane = tvconvert(plane);
    node res = tvcolnew();
    greycol(getimage(planes[0]), getimage(planes[1]), getimage(planes[2]), getimage(res));
    return shown(res);
}

node xrgbihs() { return convertcol("rgb-ihs col", rgbihs, false); }
node xihsrgb() { return convertcol("ihs-rgb col", ihsrgb, false); }
node xintensity() { return convertcol("intensity col", intensity, true); }
node xcolsphere() { return reference("cdiff1 col val", colsphere); }
node xcolcone() { return reference("colcone col ref", colcone); }
