// Helpers shared by the image library's unit tests: an error function that
// throws instead of ending the process, and store images released at scope
// exit.
#pragma once

#include "intern.h"

#include <cstdint>
#include <stdexcept>

struct ImaFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
[[noreturn]] inline void throwerror(const char *msg) { throw ImaFailure(msg); }

// An image of the store, released at scope exit. Without a size it has the
// current frame's geometry.
struct Img {
    int h;
    explicit Img(int depth) : h(newimage(ifx, ify, ifw, ifh, depth)) {}
    Img(int w, int hh, int depth, int x0 = 0, int y0 = 0) : h(newimage(x0, y0, w, hh, depth)) {}
    ~Img() { freeimage(h); }
    Img(const Img &) = delete;
    Img &operator=(const Img &) = delete;
    uint8_t *d() const { return imarray[h].data; }
    // Frame-relative pixel of a grey image; bit of a binary one.
    uint8_t &at(int x, int y) const { return d()[(y + 1) * ifw_grey + x + 1]; }
    int bit(int x, int y) const { return (d()[y * ifw_bin + x / 8] >> (x % 8)) & 1; }
};
