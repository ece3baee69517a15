// Lisp functions of the propagation operators: LABEL, BUILD, SKIZ,
// WATERSHED, THINQUEUE.
#include "image/base.h"
#include "image/morph.h"
#include "image/tvimage.h"

#include <cstdint>
#include <vector>

namespace {


// The next argument: a BIN or GREY value (else the type error).
node argbingrey() {
    node x = ksarg();
    if (ntype(x) != BIN && ntype(x) != GREY) {
        tvcheckima(x);
        ksbadtype(x);
    }
    return x;
}

// A new grey 0/1 image of a BIN image of the frame.
node greyof(node bin) {
    ksguard g(&bin);
    node grey = tvgreynew();
    morph_bingrey(getimage(bin), getimage(grey));
    return grey;
}

// A new BIN image, set where the grey image is at least least.
node binof(node grey, int least = 1) {
    ksguard g(&grey);
    node bin = tvbinnew();
    morph_greybin(getimage(grey), getimage(bin), least);
    return bin;
}

// A new grey image holding a copy of grey.
node greycopyof(node grey) {
    ksguard g(&grey);
    node copy = tvgreynew();
    greycopy(getimage(grey), getimage(copy));
    return copy;
}

node shown(node img) {
    tvdisplay(img);
    return img;
}

}  // namespace

node xlabel() {
    if (!moreargs()) ksabort("label bin &opt max");
    node bin = tvargbin();
    uint32_t max = 0xFFFFFFFFu;
    if (moreargs()) max = uint32_t(getfixnum(ksargfix()));
    kslastarg();
    bin = tvconvert(bin);
    node mask = NIL, res = NIL;
    ksguard g(&bin, &mask, &res);
    mask = greyof(bin);
    res = tvgreynew();
    uint32_t count;
    {
        tvbreakpoll poll;
        count = label(getimage(res), getimage(mask), max);
    }
    tvfreeimage(mask);
    mask = NIL;
    tvdisplay(res);
    return cons(res, cvfixnum(int32_t(count)));   // at most ifw * ifh components
}

node xbuild() {
    if (!moreargs()) ksabort("build ima_mark ima_mask &opt size (with ima=bin|grey)");
    node marker = argbingrey();
    node mask = argbingrey();
    int size = -1;
    if (moreargs()) size = getfixnum(ksargfix());
    kslastarg();
    if (ntype(marker) != ntype(mask)) ksabort("build, different type of images");
    if (ntype(marker) == GREY && size != -1) ksabort("build, size only for binary images");
    node work = NIL, res = NIL;
    ksguard g(&marker, &mask, &work, &res);
    marker = tvconvert(marker);
    mask = tvconvert(mask);
    tvbreakpoll poll;
    if (ntype(marker) == GREY) {
        res = greycopyof(marker);
        greybuild(getimage(res), getimage(mask));
        return shown(res);
    }
    // One grey image: 0 outside the mask, 1 in it, 2 on the marker.
    work = greyof(mask);
    morph_markbin(getimage(marker), getimage(work), 2);
    binreach(getimage(work), uint32_t(size));
    res = binof(work, 2);
    tvfreeimage(work);
    return shown(res);
}

node xskiz() {
    if (!moreargs()) ksabort("skiz grey_label bin_mask");
    node labels = tvarggrey();
    node mask = tvargbin();
    kslastarg();
    node res = NIL, gmask = NIL;
    ksguard g(&labels, &mask, &res, &gmask);
    labels = tvconvert(labels);
    mask = tvconvert(mask);
    res = greycopyof(labels);
    gmask = greyof(mask);
    {
        tvbreakpoll poll;
        binbuild(getimage(res), getimage(gmask), -1);
    }
    tvfreeimage(gmask);
    return shown(res);
}

node xwatershed() {
    if (!moreargs()) ksabort("watershed grey_mark grey_mask");
    node marker = tvarggrey();
    node relief = tvarggrey();
    kslastarg();
    node res = NIL;
    ksguard g(&marker, &relief, &res);
    marker = tvconvert(marker);
    relief = tvconvert(relief);
    res = greycopyof(marker);
    tvbreakpoll poll;
    watershed(getimage(res), getimage(relief));
    return shown(res);
}

node xthinqueue() {
    if (!moreargs()) ksabort("thinqueue bin se_list &opt (size -1) block");
    node bin = tvargbin();
    node list = ksarglist();
    int size = -1;
    node block = NIL;
    if (moreargs()) {
        size = getfixnum(ksargfix());
        if (moreargs()) block = tvargbin();
    }
    kslastarg();
    std::vector<int32_t> pairs;
    for (node p = list; consp(p); p = cdr(p)) {
        node e = car(p);
        if (!consp(e) || !fixp(car(e)) || !fixp(cdr(e))) ksabort("thinqueue, wrong se_list ((fix_on . fix_off) ...)");
        pairs.push_back(getfixnum(car(e)));
        pairs.push_back(getfixnum(cdr(e)));
    }
    uint8_t table[512];
    thintable(pairs.data(), int(pairs.size() / 2), table);
    node work = NIL, res = NIL;
    ksguard g(&bin, &block, &work, &res);
    bin = tvconvert(bin);
    if (block) block = tvconvert(block);
    work = greyof(bin);
    {
        tvbreakpoll poll;
        thinqueue(getimage(work), table, size, block ? getimage(block) : -1);
    }
    res = binof(work);
    tvfreeimage(work);
    return shown(res);
}
