// Lisp functions of the measurements: GREYMEAS, SUM, HISTOGRAM, FEATMEAS,
// and the feature buffer that FEATMEAS fills.
#include "image/meas.h"
#include "image/tvimage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

void tvmeasinit();

namespace {

// Allocated once at start-up, reused by every FEATMEAS call.
s_feature *featbuf;

// A sum or count: exact as a FIXNUM when it fits in 32 bits, otherwise the
// nearest FLONUM (the accumulators are 64-bit, so nothing wraps).
node cvcount(int64_t v) {
    if (v >= INT32_MIN && v <= INT32_MAX) return cvfixnum(int32_t(v));
    return cvflonum(float(v));
}

// Measurement names and the number of values each reports per label.
enum Quantity { M_FPOINT, M_MPOINT, M_RECT, M_AREA, M_VOLUME, M_GREY, M_NONE };
constexpr const char *tvmeasnames[] = {"FPOINT", "MPOINT", "RECT", "AREA", "VOLUME", "GREY"};

Quantity tvmeasof(node x) {
    if (!symbolp(x)) return M_NONE;
    for (int m = 0; m < M_NONE; ++m)
        if (std::strcmp(symname(x), tvmeasnames[m]) == 0) return Quantity(m);
    return M_NONE;
}

// Runs one measurement into the feature buffer.
void runmeas(Quantity m, int label, int grey) {
    switch (m) {
    case M_FPOINT: f_fpoint(label, featbuf); break;
    case M_MPOINT: f_mpoint(label, featbuf); break;
    case M_RECT: f_rect(label, featbuf); break;
    case M_AREA: f_area(label, featbuf); break;
    case M_VOLUME: f_volume(label, grey, featbuf); break;
    case M_GREY: f_grey(label, grey, featbuf); break;
    case M_NONE: break;
    }
}

// The value of one label's record as the user sees it.
node tvmeasvalue(Quantity m, const s_feature &f) {
    auto fix = [](int64_t v) { return int(v); };   // coordinates and sizes fit
    switch (m) {
    case M_FPOINT: return tvfixlist({fix(f.v[0]), fix(f.v[1])});
    case M_MPOINT:
        if (f.v[2] == 0) return tvfixlist({0, 0});
        return tvfixlist({fix(f.v[0] / f.v[2]), fix(f.v[1] / f.v[2])});
    case M_RECT: return tvfixlist({fix(f.v[0]), fix(f.v[1]), fix(f.v[2]), fix(f.v[3])});
    case M_AREA:
    case M_VOLUME: return cvcount(f.v[0]);
    case M_GREY: return tvfixlist({fix(f.v[0]), fix(f.v[1])});
    case M_NONE: break;
    }
    return NIL;
}

}  // namespace

void tvmeasinit() {
    if (featbuf) return;
    featbuf = static_cast<s_feature *>(std::malloc(sizeof(s_feature) * FEAT_LABELS));
    if (!featbuf) ksabort("malloc feature measurement buffer");
}

node xgreymeas() {
    if (!moreargs()) ksabort("greymeas grey");
    node img = tvarggrey();
    kslastarg();
    img = tvconvert(img);
    int lo, hi;
    double mean;
    greymeas(getimage(img), &lo, &hi, &mean);
    node list = NIL;
    ksguard g(&list);
    list = cons(cvflonum(float(mean)), NIL);
    list = cons(cvfixnum(hi), list);   // cons protects its arguments
    list = cons(cvfixnum(lo), list);
    return list;
}

node xsum() {
    if (!moreargs()) ksabort("sum bin|grey");
    node img = ksarg();
    if (ntype(img) != BIN && ntype(img) != GREY) {
        tvcheckima(img);   // a released image gets its own message
        ksbadtype(img);
    }
    kslastarg();
    img = tvconvert(img);
    return cvcount(ntype(img) == BIN ? binsum(getimage(img)) : greysum(getimage(img)));
}

node xhistogram() {
    if (!moreargs()) ksabort("histogram grey");
    node img = tvarggrey();
    kslastarg();
    img = tvconvert(img);
    uint32_t counts[256];
    histogram(getimage(img), counts);
    node list = NIL, pair = NIL;
    ksguard g(&list, &pair);
    for (int v = 255; v >= 0; --v) {
        pair = cons(cvfixnum(v), NIL);
        rplacd(pair, cvcount(counts[v]));
        list = cons(pair, list);
    }
    return list;
}

node xfeatmeas() {
    static const char usage[] = "featmeas (label . nr) (list of meas.) &opt grey";
    if (!moreargs()) ksabort(usage);
    node spec = ksarg();
    if (spec && !consp(spec)) ksbadtype(spec);
    if (!spec || ntype(car(spec)) != GREY || !fixp(cdr(spec))) ksabort(usage);
    const int nr = getfixnum(cdr(spec));
    if (nr < 0 || nr > 255) ksabort("0<=nr<=255");
    node label = tvconvert(car(spec)), grey = NIL, measures = NIL, result = NIL;
    ksguard g(&label, &grey, &measures, &result);
    measures = ksarglist();
    if (moreargs()) {
        grey = tvarggrey();
        kslastarg();
        grey = tvconvert(grey);
    }

    // The measurements, last first; all checked before any is run.
    std::vector<Quantity> ms;
    for (node p = measures; consp(p); p = cdr(p)) ms.push_back(tvmeasof(car(p)));
    std::reverse(ms.begin(), ms.end());
    const int count = int(ms.size());
    int i;
    for (i = 0; i < count; ++i) {
        if (ms[i] == M_NONE) ksabort("featmeas, wrong list of meas.");
        if ((ms[i] == M_VOLUME || ms[i] == M_GREY) && !grey) ksabort("featmeas, no grey image given");
    }

    tvmeasinit();   // the buffer is normally there since start-up
    for (int l = 0; l <= nr; ++l) result = cons(NIL, result);
    for (i = 0; i < count; ++i) {
        runmeas(ms[i], getimage(label), grey ? getimage(grey) : -1);
        int l = 0;
        for (node p = result; consp(p); p = cdr(p), ++l) {
            node v = tvmeasvalue(ms[i], featbuf[l]);
            rplaca(p, cons(v, car(p)));   // cons protects v
        }
    }
    return result;
}
