// Lisp functions of the signal-processing operators: argument checks,
// copying of masks and coefficients, re-framing of the image arguments,
// allocation of the results and one call of the image library.
#include "image/signal.h"
#include "image/tvimage.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

node shown(node img) {
    tvdisplay(img);
    return img;
}

// Holds a coefficient array; "malloc" when it cannot be had.
std::unique_ptr<int32_t[]> maskarray(size_t n) {
    std::unique_ptr<int32_t[]> p(new (std::nothrow) int32_t[n ? n : 1]);
    if (!p) ksabort("malloc");
    return p;
}

// The optional fact argument (default 1).
int argfact() { return moreargs() ? getfixnum(ksargfix()) : 1; }

// The length of a list of fixnums (abort with badmask when an element is
// not a fixnum or the list is improper); counting stops at limit, so a
// circular list ends too.
int fixlistlength(node list, int limit, const char *badmask) {
    int n = 0;
    node p = list;
    for (; consp(p) && n < limit; p = cdr(p), ++n)
        if (!fixp(car(p))) ksabort(badmask);
    if (p && n < limit) ksabort(badmask);
    return n;
}

// Releases FGREY working images at scope exit, on error paths too. The
// values must stay protected (ksguard) as long as this guard lives.
struct workimages {
    node *a, *b;
    ~workimages() {
        if (*a) tvfreeimage(*a);
        if (*b) tvfreeimage(*b);
    }
};

node twolist(node a, node b) {
    node res = cons(b, nullptr);
    ksguard g(&res);
    return cons(a, res);
}

}  // namespace

node xconvh() {
    if (!moreargs()) ksabort("convh grey mask 0-3 &opt fact");
    node img = tvarggrey();
    node mask = ksarglist();
    int mode = getfixnum(ksargfix());
    int fact = argfact();
    kslastarg();
    if (mode < 0 || mode > 3) ksabort("convh: 0<=mode<=3");
    if (fact == 0) ksabort("convh: fact!=0");
    const int n = fixlistlength(mask, ifw, "convh, mask");
    if (n >= ifw) ksabort("convh, too great mask");
    auto m = maskarray(size_t(n));
    int i = 0;
    for (node p = mask; i < n; p = cdr(p)) m[i++] = getfixnum(car(p));
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    convh(getimage(img), getimage(res), m.get(), n, mode, fact);
    return shown(res);
}

node xconv() {
    if (!moreargs()) ksabort("conv grey mask 0-3 &opt fact");
    node img = tvarggrey();
    node mask = ksarg();
    int mode = getfixnum(ksargfix());
    int fact = argfact();
    kslastarg();
    if (mode < 0 || mode > 3) ksabort("conv: 0<=mode<=3");
    if (fact == 0) ksabort("conv: fact!=0");
    // rows: a non-empty list of non-empty fixnum lists of equal length
    if (!consp(mask)) ksabort("conv, mask");
    int w = -1, h = 0;
    node p = mask;
    for (; consp(p) && h < ifh; p = cdr(p), ++h) {
        node row = car(p);
        if (!consp(row)) ksabort("conv, mask");
        const int len = fixlistlength(row, ifw, "conv, mask");
        if (len >= ifw) ksabort("conv, too great mask");
        if (w >= 0 && len != w) ksabort("conv, mask");
        w = len;
    }
    if (p && h < ifh) ksabort("conv, mask");
    if (w >= ifw || h >= ifh) ksabort("conv, too great mask");
    auto m = maskarray(size_t(w) * size_t(h));
    size_t k = 0;
    for (node r = mask; consp(r); r = cdr(r))
        for (node e = car(r); consp(e); e = cdr(e)) m[k++] = getfixnum(car(e));
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    conv(getimage(img), getimage(res), m.get(), w, h, mode, fact);
    return shown(res);
}

namespace {

// Copies a list of flonums into out; returns the count.
int floatcoefs(node list, float *out, const char *notfloat, const char *toomany) {
    int n = 0;
    node p = list;
    for (; consp(p); p = cdr(p), ++n) {
        if (n >= RECH_MAXCOEF) ksabort(toomany);
        if (!floatp(car(p))) ksabort(notfloat);
        out[n] = getflonum(car(p));
    }
    if (p) ksabort(notfloat);
    return n;
}

}  // namespace

node xrech() {
    if (!moreargs()) ksabort("rech grey (a b) mode");
    node img = tvarggrey();
    node ab = ksarg();
    int mode = getfixnum(ksargfix());
    kslastarg();
    if (mode < 1 || mode > 3) ksabort("rech: 1<=mode<=3");
    // exactly (a b): a a non-empty list, b a list or NIL
    if (!consp(ab) || !consp(car(ab)) || !consp(cdr(ab)) || !listp(car(cdr(ab))) || cdr(cdr(ab)))
        ksabort("rech: wrong (a b)");
    float a[RECH_MAXCOEF], b[RECH_MAXCOEF];
    const int na = floatcoefs(car(ab), a, "\"a\" has to be a list of float numbers", "too many \"a\" parameter (max 20)");
    const int nb = floatcoefs(car(cdr(ab)), b, "\"b\" has to be a list of float numbers", "too many \"b\" parameter (max 20)");
    img = tvconvert(img);
    ksguard g(&img);
    node res = tvgreynew();
    rech(getimage(img), getimage(res), a, na, b, nb, mode);
    return shown(res);
}

node xft() {
    if (!moreargs()) ksabort("ft gin ain dir &opt fact");
    node gin = tvarggrey();
    node ain = tvarggrey();
    int dir = getfixnum(ksargfix());
    float fact = moreargs() ? getflonum(ksargflo()) : 1.0f;
    kslastarg();
    if (dir != 1 && dir != -1) ksabort("ft, wrong dir");
    node gout = nullptr, aout = nullptr;
    ksguard g(&gin, &ain, &gout, &aout);
    gin = tvconvert(gin);
    ain = tvconvert(ain);
    gout = tvgreynew();
    aout = tvgreynew();
    tvbreakpoll poll;
    ft(getimage(gin), getimage(ain), getimage(gout), getimage(aout), dir, fact);
    tvdisplay(gout);
    return twolist(gout, aout);
}

namespace {

bool ispowerof2(int n) { return n > 0 && (n & (n - 1)) == 0; }

// The operator of a mult_div argument: '*', '/' or 0 when it is neither.
char multdivop(node x) {
    if (!symbolp(x)) return 0;
    const char *name = symname(x);
    if (std::strcmp(name, "*") == 0) return '*';
    if (std::strcmp(name, "/") == 0) return '/';
    return 0;
}

}  // namespace

node xfft() {
    if (!moreargs()) ksabort("fft gin1 ain1 dir k &opt mult_div gin2 ain2");
    node gin1 = tvarggrey();
    node ain1 = tvarggrey();
    int dir = getfixnum(ksargfix());
    int k = getfixnum(ksargfix());
    node gin2 = nullptr, ain2 = nullptr;
    char op = 0;
    bool withspectrum = moreargs();
    if (withspectrum) {
        node md = ksarg();
        op = multdivop(md);
        gin2 = tvarggrey();
        ain2 = tvarggrey();
    }
    kslastarg();
    if (dir != 1 && dir != -1) ksabort("fft, wrong dir");
    if (k < 1) ksabort("fft, wrong k");
    if (withspectrum && !op) ksabort("fft, wrong mult_div");
    if (!ispowerof2(ifw)) ksabort("fft, ifw must by 2^n");
    if (!ispowerof2(ifh)) ksabort("fft, ifh must by 2^n");

    node gout = nullptr, aout = nullptr, re = nullptr, im = nullptr;
    ksguard g(&gin1, &ain1, &gin2, &ain2, &gout, &aout, &re, &im);
    workimages work{&re, &im};
    gin1 = tvconvert(gin1);
    ain1 = tvconvert(ain1);
    if (withspectrum) {
        gin2 = tvconvert(gin2);
        ain2 = tvconvert(ain2);
    }
    gout = tvgreynew();
    aout = tvgreynew();
    re = tvfgreynew();
    im = tvfgreynew();
    const float s = dir == 1 ? 1.0f : float(k);
    conveuler(getimage(gin1), getimage(ain1), getimage(re), getimage(im), s);
    if (withspectrum) multdiv(getimage(gin2), getimage(ain2), getimage(re), getimage(im), op, s);
    fft(getimage(re), getimage(im), dir);
    convbackeuler(getimage(re), getimage(im), getimage(gout), getimage(aout), dir == 1 ? 1.0f / float(k) : 1.0f);
    tvfreeimage(re);
    tvfreeimage(im);
    re = im = nullptr;
    tvdisplay(gout);
    return twolist(gout, aout);
}

namespace {

typedef void (*cartesianop)(int g, int a, int out, int mode);

// REAL, IMAGINARY: (gin ain) &opt mode.
node cartesianpart(const char *usage, const char *badmode, cartesianop op) {
    if (!moreargs()) ksabort(usage);
    node pair = ksarg();
    int mode = moreargs() ? getfixnum(ksargfix()) : 0;
    kslastarg();
    if (mode < 0 || mode > 2) ksabort(badmode);
    if (!consp(pair) || !consp(cdr(pair)) || cdr(cdr(pair)) || ntype(car(pair)) != GREY ||
        ntype(car(cdr(pair))) != GREY)
        ksabort(usage);
    node gin = car(pair), ain = car(cdr(pair));
    ksguard g(&gin, &ain);
    gin = tvconvert(gin);
    ain = tvconvert(ain);
    node res = tvgreynew();
    op(getimage(gin), getimage(ain), getimage(res), mode);
    return shown(res);
}

}  // namespace

node xreal() { return cartesianpart("real (gin ain) &opt mode", "real, mode=0|1|2", real); }
node ximaginary() {
    return cartesianpart("imaginary (gin ain) &opt mode", "imaginary, mode=0|1|2", imaginary);
}

node xfcenter() {
    if (moreargs()) ksabort("fcenter");
    node res = tvgreynew();
    fcenter(getimage(res));
    return shown(res);
}

node xbutter() {
    if (!moreargs()) ksabort("butterworth d n");
    int d = getfixnum(ksargfix());
    int n = getfixnum(ksargfix());
    kslastarg();
    if (d < 1) ksabort("d>=1");
    if (n < 2 || n > 10) ksabort("2<=n<=10");
    node res = tvgreynew();
    butter(getimage(res), d, n);
    return shown(res);
}
