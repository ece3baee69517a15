// The example extension: a small table of built-ins (funtab2) that shows how
// a module adds functions to the interpreter, added with table number 2
// (tvregister).
#include "interp/ks.h"
#include "image/intern.h"
#include "image/tvimage.h"

// (EX1 n): 255 - n.
static node xex1() {
    if (!moreargs()) ksabort("ex1 fix");
    node n = ksargfix();
    kslastarg();
    // wraps like the 32-bit arithmetic of the interpreter instead of overflowing
    return cvfixnum(static_cast<int32_t>(255u - static_cast<uint32_t>(getfixnum(n))));
}

// (EX2 grey): the bitwise complement of a grey image brought into the
// current frame, border included; it becomes the displayed image.
static node xex2() {
    if (!moreargs()) ksabort("ex2 grey");
    node img = ksarg();
    if (ntype(img) != GREY) ksbadtype(img);
    kslastarg();
    img = tvconvert(img);
    ksguard g(&img);
    node inv = tvgreynew();
    const uint8_t *in = tvdata(img);
    uint8_t *out = tvdata(inv);
    size_t n = size_t(ifw_grey) * size_t(ifh_grey);
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t(~in[i]);
    tvdisplay(inv);
    return inv;
}

// (TEST ...): ignores its arguments.
static node xtest() {
    ksargv += ksargc;
    ksargc = 0;
    return NIL;
}

const funrow funtab2[] = {
    {"EX1", 1, xex1},
    {"EX2", 1, xex2},
    {"TEST", 1, xtest},
    {nullptr, 0, nullptr},
};
