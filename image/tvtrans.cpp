// Lisp functions of the point and neighbourhood transforms: argument
// checks, re-framing of the image arguments, allocation of the result and
// one call of the image library.
#include "image/trans.h"
#include "image/tvimage.h"
#include "image/base.h"

#include <cstdint>

namespace {

node shown(node img) {
    tvdisplay(img);
    return img;
}

// The next argument, a BIN or GREY value (else the type error).
node argbingrey() {
    node x = ksarg();
    if (ntype(x) != BIN && ntype(x) != GREY) {
        tvcheckima(x);   // a released image gets its own message
        ksbadtype(x);
    }
    return x;
}

// The angle argument in degrees, FIXNUM or FLONUM.
float argdegrees() {
    node a = ksarg();
    if (fixp(a)) return float(getfixnum(a));
    if (floatp(a)) return getflonum(a);
    ksbadtype(a);
}

typedef void (*binnbhop)(int src, int tmp, int dst, int se);
typedef void (*greynbhop)(int src, int dst, int se);

// INFNBH, SUPNBH.
node neighbourhood(const char *usage, binnbhop binop, greynbhop greyop) {
    if (!moreargs()) ksabort(usage);
    node img = argbingrey();
    int se = getfixnum(ksargfix());
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    if (ntype(img) == BIN) {
        node res = tvbinnew();
        binop(getimage(img), getimage(res), getimage(res), se);
        return shown(res);
    }
    node res = tvgreynew();
    greyop(getimage(img), getimage(res), se);
    return shown(res);
}

typedef void (*lineop)(int src, int dst, float angle, int size);

// LINDILATION, LINEROSION: a binary image goes through grey 0/1 images.
node linesegment(const char *usage, lineop op) {
    if (!moreargs()) ksabort(usage);
    node img = argbingrey();
    float angle = argdegrees();
    int size = getfixnum(ksargfix());
    kslastarg();
    img = tvconvert(img);
    node a = nullptr, b = nullptr;
    ksguard g(&img, &a, &b);
    if (ntype(img) == GREY) {
        node res = tvgreynew();
        op(getimage(img), getimage(res), angle, size);
        return shown(res);
    }
    a = tvgreynew();
    bingrey(getimage(img), getimage(a));
    b = tvgreynew();
    op(getimage(a), getimage(b), angle, size);
    node res = tvbinnew();
    greybin(getimage(b), getimage(res));
    tvfreeimage(a);
    tvfreeimage(b);
    return shown(res);
}

}  // namespace

node xbingrey() {
    if (!moreargs()) ksabort("bin-grey bin");
    node img = tvargbin();
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    bingrey(getimage(img), getimage(res));
    return res;   // not displayed
}

node xgreybin() {
    if (!moreargs()) ksabort("grey-bin gin");
    node img = tvarggrey();
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvbinnew();
    greybin(getimage(img), getimage(res));
    return shown(res);
}

node xthresh() {
    if (!moreargs()) ksabort("thresh grey low high");
    node img = tvarggrey();
    int low = getfixnum(ksargfix());
    int high = getfixnum(ksargfix());
    kslastarg();
    if (low < 0 || low > high || high > 255) ksabort("thresh, wrong low or high");
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvbinnew();
    thresh(getimage(img), getimage(res), low, high);
    return shown(res);
}

node xinvert() {
    if (!moreargs()) ksabort("invert ima");
    node img = tvargima();
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res;
    if (ntype(img) == BIN) {
        res = tvbinnew();
        bincopy(getimage(img), getimage(res));
        bininvert(getimage(res));
    } else if (ntype(img) == GREY) {
        res = tvgreynew();
        greycopy(getimage(img), getimage(res));
        greyinvert(getimage(res));
    } else {
        res = tvcolnew();
        colcopy(getimage(img), getimage(res));
        colinvert(getimage(res));
    }
    return shown(res);
}

node xfpoint() {
    if (!moreargs()) ksabort("fpoint bin");
    node img = tvargbin();
    kslastarg();
    img = tvconvert(img);
    int x, y;
    if (!fpoint(getimage(img), &x, &y)) return nullptr;
    return tvfixlist({x + ifx, y + ify});
}

node xinfnbh() { return neighbourhood("infnbh bin|grey se", bininfnbh, greyinfnbh); }
node xsupnbh() { return neighbourhood("supnbh bin|grey se", binsupnbh, greysupnbh); }
node xlindilation() { return linesegment("lindilation bin|grey angle size", greylindilation); }
node xlinerosion() { return linesegment("linerosion bin|grey angle size", greylinerosion); }

node xanamorph() {
    if (!moreargs()) ksabort("anamorph grey lut");
    node img = tvarggrey();
    node lut = ksargcons();
    kslastarg();
    unsigned char table[256];
    for (int i = 0; i < 256; ++i) table[i] = uint8_t(i);
    for (node p = lut; consp(p); p = cdr(p)) {
        node pair = car(p);
        if (!consp(pair) || !fixp(car(pair)) || !fixp(cdr(pair))) ksabort("anamorph, lut=((old . new)(old . new) ...)");
        int from = getfixnum(car(pair)), to = getfixnum(cdr(pair));
        if (from < 0 || from > 255 || to < 0 || to > 255) ksabort("anamorph, lut=((old . new)(old . new) ...)");
        table[from] = uint8_t(to);
    }
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    greycopy(getimage(img), getimage(res));
    anamorph(getimage(res), table);
    return shown(res);
}

node xbitmap() {
    if (!moreargs()) ksabort("bitmap gin 1-4");
    node img = tvarggrey();
    int k = getfixnum(ksargfix());
    kslastarg();
    if (k < 1 || k > 4) ksabort("bitmap gin 1-4");
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvbinnew();
    bitmap(getimage(img), getimage(res), 1 << k);
    return shown(res);
}

node xdistance() {
    if (!moreargs()) ksabort("distance bin &opt (outside 1)");
    node img = tvargbin();
    int outside = 1;
    if (moreargs()) outside = getfixnum(ksargfix()) ? 255 : 0;
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    bingrey(getimage(img), getimage(res));
    distance(getimage(res), outside);
    return shown(res);
}

node xgetsample() {
    if (!moreargs()) ksabort("getsample grey_or grey_sa diff_start diff_end &opt xf yf");
    node orig = tvarggrey();
    node sample = tvarggrey();
    int dstart = getfixnum(ksargfix());
    int dend = getfixnum(ksargfix());
    int xf = moreargs() ? getfixnum(ksargfix()) : -1;
    int yf = moreargs() ? getfixnum(ksargfix()) : -1;
    kslastarg();
    ksguard g(&sample);
    orig = tvconvert(orig);
    const s_image &smp = tvrecord(sample);
    int x = 0, y = 0;
    if (xf >= 0) {
        if (xf < ifx || int64_t(xf) > int64_t(ifx) + ifw - smp.w) ksabort("getsample, wrong x");
        x = xf - ifx;
    }
    if (yf >= 0) {
        if (yf < ify || int64_t(yf) > int64_t(ify) + ifh - smp.h) ksabort("getsample, wrong y");
        y = yf - ify;
    }
    int diff;
    if (!getsample(getimage(orig), getimage(sample), dstart, dend, &x, &y, &diff)) return nullptr;
    const float mean = float(double(diff) / (double(smp.w) * smp.h));
    node res = cons(cvflonum(mean), nullptr);
    ksguard g2(&res);
    res = cons(cvfixnum(y + ify), res);
    res = cons(cvfixnum(x + ifx), res);
    return res;
}

node xmedian() {
    if (!moreargs()) ksabort("median grey size");
    node img = tvarggrey();
    int size = getfixnum(ksargfix());
    kslastarg();
    if (size > 10) ksabort("median, too great size");
    if (size >= ifw / 2) ksabort("median, too great size");
    // The window must fit the frame's height as well.
    if (2 * int64_t(size) + 1 > ifh) ksabort("median, too great size");
    if (size < 1) ksabort("median, wrong size");
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    median(getimage(img), getimage(res), size);
    return shown(res);
}
