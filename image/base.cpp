// Pixel access, geometry and arithmetic on raw pixel blocks.
//
// Layouts (see intern.h): BIN 1 bit a pixel, bit 0 leftmost, row stride
// (w + 7) / 8; GREY one byte a pixel inside a one-pixel border, stride w + 2;
// COL red, green, blue bytes, stride 3w. Inner loops run over raw rows; the
// pixel-wise operations use SSE2 (part of every x86-64) 16 bytes at a time.
#include "image/base.h"
#include "image/intern.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// ------------------------------------------------------------------ helpers
uint8_t *pixels(int h) { return imarray[h].data; }

size_t binblock() { return size_t(ifw_bin) * ifh; }
size_t greyblock() { return size_t(ifw_grey) * ifh_grey; }
size_t colblock() { return size_t(ifw_col) * ifh; }

// Row r of a grey image of the frame, at its first pixel.
uint8_t *greyrow(uint8_t *p, int r) { return p + size_t(r + 1) * ifw_grey + 1; }
const uint8_t *greyrow(const uint8_t *p, int r) { return p + size_t(r + 1) * ifw_grey + 1; }

// The grey point operations treat the frame's pixels as one run of bytes
// from the first pixel to the last; the side border bytes between rows are
// part of the run, the top and bottom border rows are not.
uint8_t *greyrun(uint8_t *p) { return p + ifw_grey + 1; }
size_t greyrunlen() { return size_t(ifh - 1) * ifw_grey + ifw; }

// Zeroes the border ring of a grey block of w x h pixels.
void greyzeroborder(uint8_t *p, int w, int h) {
    size_t stride = size_t(w) + 2;
    std::memset(p, 0, stride);
    std::memset(p + (size_t(h) + 1) * stride, 0, stride);
    for (int r = 1; r <= h; ++r) {
        p[r * stride] = 0;
        p[r * stride + stride - 1] = 0;
    }
}

// Scratch memory, released on every exit (an ima_error included).
template <class T>
std::vector<T> scratch(size_t n, const char *failmsg) {
    try {
        return std::vector<T>(n);
    } catch (const std::bad_alloc &) {
        ima_error(failmsg);
    }
}

// Floor of a float known to lie well inside the int range.
inline int ifloor(float x) {
    int i = int(x);
    return i - (x < float(i));
}

// ------------------------------------------------------ byte-wise kernels
// Each operation gives its 16-byte SSE2 form and its one-byte form.
struct OpAdd {
    static __m128i v(__m128i a, __m128i b) { return _mm_add_epi8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return uint8_t(a + b); }
};
struct OpAddSat {
    static __m128i v(__m128i a, __m128i b) { return _mm_adds_epu8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return uint8_t(std::min(255, a + b)); }
};
struct OpSub {
    static __m128i v(__m128i a, __m128i b) { return _mm_sub_epi8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return uint8_t(a - b); }
};
struct OpSubSat {
    static __m128i v(__m128i a, __m128i b) { return _mm_subs_epu8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return a > b ? uint8_t(a - b) : 0; }
};
struct OpMax {
    static __m128i v(__m128i a, __m128i b) { return _mm_max_epu8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return std::max(a, b); }
};
struct OpMin {
    static __m128i v(__m128i a, __m128i b) { return _mm_min_epu8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return std::min(a, b); }
};
struct OpOr {
    static __m128i v(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return a | b; }
};
struct OpAnd {
    static __m128i v(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return a & b; }
};

inline __m128i load16(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void store16(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

// d[i] = op(d[i], s[i]) for n bytes.
template <class Op>
void bytes2(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m128i a0 = Op::v(load16(d + i), load16(s + i));
        __m128i a1 = Op::v(load16(d + i + 16), load16(s + i + 16));
        __m128i a2 = Op::v(load16(d + i + 32), load16(s + i + 32));
        __m128i a3 = Op::v(load16(d + i + 48), load16(s + i + 48));
        store16(d + i, a0);
        store16(d + i + 16, a1);
        store16(d + i + 32, a2);
        store16(d + i + 48, a3);
    }
    for (; i + 16 <= n; i += 16) store16(d + i, Op::v(load16(d + i), load16(s + i)));
    for (; i < n; ++i) d[i] = Op::s(d[i], s[i]);
}

// d[i] = op(d[i], pattern[i mod 48]) for n bytes: 48 bytes are 16 colour
// pixels, so a colour constant repeats exactly; a grey constant is 48 equal bytes.
template <class Op>
void bytespattern(uint8_t *__restrict d, const uint8_t *pat, size_t n) {
    const __m128i p0 = load16(pat), p1 = load16(pat + 16), p2 = load16(pat + 32);
    size_t i = 0;
    for (; i + 48 <= n; i += 48) {
        store16(d + i, Op::v(load16(d + i), p0));
        store16(d + i + 16, Op::v(load16(d + i + 16), p1));
        store16(d + i + 32, Op::v(load16(d + i + 32), p2));
    }
    for (; i < n; ++i) d[i] = Op::s(d[i], pat[i % 48]);
}

struct Pattern {
    uint8_t b[48];
};
Pattern greypattern(uint8_t c) {
    Pattern p;
    std::memset(p.b, c, sizeof p.b);
    return p;
}
Pattern colpattern(uint32_t rgb) {
    Pattern p;
    for (int i = 0; i < 48; i += 3) {
        p.b[i] = uint8_t(rgb >> 16);
        p.b[i + 1] = uint8_t(rgb >> 8);
        p.b[i + 2] = uint8_t(rgb);
    }
    return p;
}

// ------------------------------------------------------------------- lines
// Walks the pixels of the line (x1 y1)-(x2 y2) in image coordinates and
// calls plot(x, y) for each. The error term moves the minor coordinate by
// one whenever it leaves [-0.5, 0.5]; the minor coordinate is kept within
// the end points so that float rounding can never leave the line's box.
template <class Plot>
void linewalk(int x1, int y1, int x2, int y2, Plot plot) {
    if (x1 == x2 && y1 == y2) {
        plot(x1, y1);
        return;
    }
    if (std::abs(y2 - y1) < std::abs(x2 - x1)) {
        if (x2 < x1) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        float step = float(y1 - y2) / float(x2 - x1), err = 0;
        int lo = std::min(y1, y2), hi = std::max(y1, y2), y = y1;
        plot(x1, y1);
        for (int x = x1 + 1; x <= x2; ++x) {
            err += step;
            if (err < -0.5f) {
                err += 1;
                ++y;
            } else if (err > 0.5f) {
                err -= 1;
                --y;
            }
            plot(x, std::clamp(y, lo, hi));
        }
    } else {
        if (y2 < y1) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        float step = float(x1 - x2) / float(y2 - y1), err = 0;
        int lo = std::min(x1, x2), hi = std::max(x1, x2), x = x1;
        plot(x1, y1);
        for (int y = y1 + 1; y <= y2; ++y) {
            err += step;
            if (err < -0.5f) {
                err += 1;
                ++x;
            } else if (err > 0.5f) {
                err -= 1;
                --x;
            }
            plot(std::clamp(x, lo, hi), y);
        }
    }
}

// Calls set(c, r) for the pixels of the outer ring of the rectangle
// (c0, r0, w, h) given in image coordinates, clipped to the image's w x h.
template <class Set>
void bordwalk(int iw, int ih, int c0, int r0, int w, int h, Set set) {
    if (w <= 0 || h <= 0) return;
    int cl = std::max(c0, 0), cr = std::min(c0 + w, iw);
    int rt = std::max(r0, 0), rb = std::min(r0 + h, ih);
    for (int r : {r0, r0 + h - 1})
        if (r >= 0 && r < ih)
            for (int c = cl; c < cr; ++c) set(c, r);
    for (int c : {c0, c0 + w - 1})
        if (c >= 0 && c < iw)
            for (int r = rt; r < rb; ++r) set(c, r);
}

// ------------------------------------------------------- own-geometry access
struct Own {
    uint8_t *p;
    int w, h;
    size_t stride;
};
Own binown(int h) {
    s_image &im = imarray[h];
    return {im.data, im.w, im.h, size_t(im.w + 7) / 8};
}
Own greyown(int h) {
    s_image &im = imarray[h];
    return {im.data + im.w + 3, im.w, im.h, size_t(im.w) + 2};   // at pixel (0, 0)
}
Own colown(int h) {
    s_image &im = imarray[h];
    return {im.data, im.w, im.h, size_t(im.w) * 3};
}

inline void binput(const Own &o, int c, int r, int v) {
    uint8_t &b = o.p[r * o.stride + (c >> 3)];
    uint8_t bit = uint8_t(1u << (c & 7));
    b = v ? (b | bit) : (b & ~bit);
}
inline void colput(const Own &o, int c, int r, int v) {
    uint8_t *q = o.p + r * o.stride + size_t(c) * 3;
    q[0] = uint8_t(v >> 16);
    q[1] = uint8_t(v >> 8);
    q[2] = uint8_t(v);
}

// --------------------------------------------------------- bit-level tools
constexpr uint64_t transpose8(uint64_t x) {
    // Byte b of x is row b, bit c its column c; swaps bit 8b+c with 8c+b.
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    return x ^ t ^ (t << 28);
}

constexpr std::array<uint8_t, 256> makerev8() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) r |= 0x80 >> b;
        t[i] = uint8_t(r);
    }
    return t;
}
constexpr std::array<uint8_t, 256> rev8 = makerev8();

// Mask byte -> 8 bytes of 0x00/0xFF, one per pixel (grey masking).
constexpr std::array<uint64_t, 256> makeexpand8() {
    std::array<uint64_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) t[i] |= uint64_t(0xFF) << (8 * b);
    return t;
}
constexpr std::array<uint64_t, 256> expand8 = makeexpand8();

// Mask byte -> 24 bytes of 0x00/0xFF, three per pixel (colour masking).
constexpr std::array<std::array<uint64_t, 3>, 256> makeexpand24() {
    std::array<std::array<uint64_t, 3>, 256> t{};
    for (int i = 0; i < 256; ++i)
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b))
                for (int k = 3 * b; k < 3 * b + 3; ++k) t[i][k / 8] |= uint64_t(0xFF) << (8 * (k % 8));
    return t;
}
constexpr std::array<std::array<uint64_t, 3>, 256> expand24 = makeexpand24();

inline uint64_t load64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store64(uint8_t *p, uint64_t v) { std::memcpy(p, &v, 8); }

// Bits start..start+7 of a bit row of nbytes bytes; bits outside are 0.
inline unsigned getbits8(const uint8_t *row, int nbytes, int start) {
    int q = start >> 3, sh = start & 7;
    unsigned lo = (q >= 0 && q < nbytes) ? row[q] : 0;
    unsigned hi = (q + 1 >= 0 && q + 1 < nbytes) ? row[q + 1] : 0;
    return ((lo | hi << 8) >> sh) & 0xFF;
}

// Clears the bits of the last byte of each row beyond the last pixel.
void binclearpad(uint8_t *p, int w, int h) {
    if (w % 8 == 0) return;
    size_t stride = size_t(w + 7) / 8;
    uint8_t keep = uint8_t((1u << (w % 8)) - 1);
    for (int r = 0; r < h; ++r) p[r * stride + stride - 1] &= keep;
}

}  // namespace

// ================================================================ pixel access

int binrpix(int h, int x, int y) {
    Own o = binown(h);
    int c = x - imarray[h].x0, r = y - imarray[h].y0;
    return (o.p[r * o.stride + (c >> 3)] >> (c & 7)) & 1;
}
int greyrpix(int h, int x, int y) {
    Own o = greyown(h);
    return o.p[(y - imarray[h].y0) * o.stride + (x - imarray[h].x0)];
}
int colrpix(int h, int x, int y) {
    Own o = colown(h);
    const uint8_t *q = o.p + (y - imarray[h].y0) * o.stride + size_t(x - imarray[h].x0) * 3;
    return q[0] << 16 | q[1] << 8 | q[2];
}

void binwpix(int h, int x, int y, int value) {
    binput(binown(h), x - imarray[h].x0, y - imarray[h].y0, value);
}
void greywpix(int h, int x, int y, int value) {
    Own o = greyown(h);
    o.p[(y - imarray[h].y0) * o.stride + (x - imarray[h].x0)] = uint8_t(value);
}
void colwpix(int h, int x, int y, int value) {
    colput(colown(h), x - imarray[h].x0, y - imarray[h].y0, value);
}

void binwline(int h, int x1, int y1, int x2, int y2, int value) {
    Own o = binown(h);
    int x0 = imarray[h].x0, y0 = imarray[h].y0;
    linewalk(x1 - x0, y1 - y0, x2 - x0, y2 - y0, [&](int c, int r) { binput(o, c, r, value); });
}
void greywline(int h, int x1, int y1, int x2, int y2, int value) {
    Own o = greyown(h);
    int x0 = imarray[h].x0, y0 = imarray[h].y0;
    linewalk(x1 - x0, y1 - y0, x2 - x0, y2 - y0,
             [&](int c, int r) { o.p[r * o.stride + c] = uint8_t(value); });
}
void colwline(int h, int x1, int y1, int x2, int y2, int value) {
    Own o = colown(h);
    int x0 = imarray[h].x0, y0 = imarray[h].y0;
    linewalk(x1 - x0, y1 - y0, x2 - x0, y2 - y0, [&](int c, int r) { colput(o, c, r, value); });
}

void binbord(int h, int value, int x0, int y0, int w, int hh) {
    Own o = binown(h);
    bordwalk(o.w, o.h, x0 - imarray[h].x0, y0 - imarray[h].y0, w, hh,
             [&](int c, int r) { binput(o, c, r, value); });
}
void greybord(int h, int value, int x0, int y0, int w, int hh) {
    Own o = greyown(h);
    bordwalk(o.w, o.h, x0 - imarray[h].x0, y0 - imarray[h].y0, w, hh,
             [&](int c, int r) { o.p[r * o.stride + c] = uint8_t(value); });
}
void colbord(int h, int value, int x0, int y0, int w, int hh) {
    Own o = colown(h);
    bordwalk(o.w, o.h, x0 - imarray[h].x0, y0 - imarray[h].y0, w, hh,
             [&](int c, int r) { colput(o, c, r, value); });
}

// ==================================================================== copies

void bincopy(int src, int dst) {
    if (src != dst) std::memcpy(pixels(dst), pixels(src), binblock());
}
void greycopy(int src, int dst) {
    if (src != dst) std::memcpy(pixels(dst), pixels(src), greyblock());
}
void colcopy(int src, int dst) {
    if (src != dst) std::memcpy(pixels(dst), pixels(src), colblock());
}

// ===================================================================== shift

namespace {

// Shifts rows of pixels of bpp bytes: dst row r+dy = src row r moved by dx
// pixels, zeros where nothing lands. rowat(p, r) gives row r's first pixel.
template <class RowAt>
void shiftbytes(const uint8_t *s, uint8_t *d, int dx, int dy, int bpp, RowAt rowat) {
    size_t rowbytes = size_t(ifw) * bpp;
    size_t n = size_t(ifw - std::abs(dx)) * bpp;     // bytes that land in a row
    size_t dstoff = size_t(std::max(dx, 0)) * bpp, srcoff = size_t(std::max(-dx, 0)) * bpp;
    for (int r = 0; r < ifh; ++r) {
        uint8_t *drow = rowat(d, r);
        int sr = r - dy;
        if (sr < 0 || sr >= ifh) {
            std::memset(drow, 0, rowbytes);
            continue;
        }
        const uint8_t *srow = rowat(s, sr);
        std::memset(drow, 0, dstoff);
        std::memcpy(drow + dstoff, srow + srcoff, n);
        std::memset(drow + dstoff + n, 0, rowbytes - dstoff - n);
    }
}

void checkshift(int dx, int dy) {
    if (dx <= -ifw || dx >= ifw || dy <= -ifh || dy >= ifh) ima_error("shift, wrong dx dy");
}

}  // namespace

void greyshift(int src, int dst, int dx, int dy) {
    checkshift(dx, dy);
    uint8_t *d = pixels(dst);
    greyzeroborder(d, ifw, ifh);
    shiftbytes(pixels(src), d, dx, dy, 1, [](auto *p, int r) { return greyrow(p, r); });
}
void colshift(int src, int dst, int dx, int dy) {
    checkshift(dx, dy);
    shiftbytes(pixels(src), pixels(dst), dx, dy, 3,
               [](auto *p, int r) { return p + size_t(r) * ifw_col; });
}

// A bit row is shifted 64 bits at a time: the source row is copied into a
// zero-padded buffer (pad bits cleared) wide enough that every shifted read
// stays inside it, so no per-pixel edge tests are needed.
void binshift(int src, int dst, int dx, int dy) {
    checkshift(dx, dy);
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    const int nb = ifw_bin;
    const size_t pad = size_t(nb) + 16;
    std::vector<uint8_t> buf = scratch<uint8_t>(3 * size_t(nb) + 48, "shift, allocation problem");
    uint8_t *mid = buf.data() + pad;                // the row's first byte
    const uint8_t lastkeep = uint8_t(ifw % 8 ? (1u << (ifw % 8)) - 1 : 0xFF);
    for (int r = 0; r < ifh; ++r) {
        uint8_t *drow = d + size_t(r) * nb;
        int sr = r - dy;
        if (sr < 0 || sr >= ifh) {
            std::memset(drow, 0, nb);
            continue;
        }
        std::memcpy(mid, s + size_t(sr) * nb, nb);
        mid[nb - 1] &= lastkeep;
        // dst bit p = src bit p - dx: byte j starts at source bit 8j - dx.
        int j = 0;
        for (; j + 8 <= nb; j += 8) {
            int o = 8 * j - dx, q = o >> 3, sh = o & 7;
            uint64_t v = load64(mid + q) >> sh;
            if (sh) v |= uint64_t(mid[q + 8]) << (64 - sh);
            store64(drow + j, v);
        }
        for (; j < nb; ++j) {
            int o = 8 * j - dx, q = o >> 3, sh = o & 7;
            drow[j] = uint8_t((mid[q] | mid[q + 1] << 8) >> sh);
        }
        drow[nb - 1] &= lastkeep;
    }
}

// ================================================================ quarter turns

namespace {

// dst(j, i) = src(i, h-1-j) for dir 1, src(w-1-i, j) for dir -1, for
// pixels of bpp bytes; w, h are the source's size; s and d point at pixel
// (0, 0). Works in tiles so that both images are walked cache-friendly.
template <int bpp>
void rot90bytes(const uint8_t *s, size_t sstride, uint8_t *d, size_t dstride, int w, int h, int dir) {
    constexpr int T = 64;
    for (int i0 = 0; i0 < w; i0 += T) {
        int i1 = std::min(i0 + T, w);
        for (int j0 = 0; j0 < h; j0 += T) {
            int j1 = std::min(j0 + T, h);
            for (int i = i0; i < i1; ++i) {
                uint8_t *drow = d + size_t(i) * dstride;
                if (dir == 1) {
                    for (int j = j0; j < j1; ++j)
                        std::memcpy(drow + size_t(j) * bpp, s + size_t(h - 1 - j) * sstride + size_t(i) * bpp, bpp);
                } else {
                    const uint8_t *scol = s + size_t(w - 1 - i) * bpp;
                    for (int j = j0; j < j1; ++j)
                        std::memcpy(drow + size_t(j) * bpp, scol + size_t(j) * sstride, bpp);
                }
            }
        }
    }
}

void checkrot90(int src, int dst, int dir) {
    if (dir != 1 && dir != -1) ima_error("rot90 ima +1|-1");
    if (imarray[dst].w != imarray[src].h || imarray[dst].h != imarray[src].w)
        ima_error("rot90, wrong destination size");
}

}  // namespace

void greyrot90(int src, int dst, int dir) {
    checkrot90(src, dst, dir);
    int w = imarray[src].w, h = imarray[src].h;
    uint8_t *d = pixels(dst);
    greyzeroborder(d, h, w);
    rot90bytes<1>(pixels(src) + w + 3, size_t(w) + 2, d + h + 3, size_t(h) + 2, w, h, dir);
}
void colrot90(int src, int dst, int dir) {
    checkrot90(src, dst, dir);
    int w = imarray[src].w, h = imarray[src].h;
    rot90bytes<3>(pixels(src), size_t(w) * 3, pixels(dst), size_t(h) * 3, w, h, dir);
}

// Blocks of 8 x 8 pixels: 8 source bytes (8 rows of one byte column, or 8
// bits gathered at any bit offset) are transposed as one 64-bit word.
void binrot90(int src, int dst, int dir) {
    checkrot90(src, dst, dir);
    const int w = imarray[src].w, h = imarray[src].h;
    const int sstride = (w + 7) / 8, dstride = (h + 7) / 8;
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    for (int I = 0; I < sstride; ++I) {          // dst rows 8I .. 8I+7
        for (int J = 0; J < dstride; ++J) {      // dst byte column J
            uint64_t x = 0;
            for (int b = 0; b < 8; ++b) {
                uint64_t v;
                if (dir == 1) {                  // dst bit j=8J+b <- src row h-1-j
                    int sr = h - 1 - 8 * J - b;
                    v = sr >= 0 ? s[size_t(sr) * sstride + I] : 0;
                } else {                         // dst bit j <- src row j; column reversed
                    int sr = 8 * J + b;
                    v = sr < h ? rev8[getbits8(s + size_t(sr) * sstride, sstride, w - 8 - 8 * I)] : 0;
                }
                x |= v << (8 * b);
            }
            x = transpose8(x);
            for (int c = 0; c < 8 && 8 * I + c < w; ++c) d[size_t(8 * I + c) * dstride + J] = uint8_t(x >> (8 * c));
        }
    }
    binclearpad(d, h, w);
}

// ================================================================ rotations

namespace {

struct RotSetup {
    float c, s, cx, cy;
};

RotSetup rotsetup(float angle) {
    if (!std::isfinite(angle)) ima_error("rot ima angle");
    return {std::cos(angle), std::sin(-angle), (ifw - 1) * 0.5f, (ifh - 1) * 0.5f};
}

// Nearest pixel: walks each result row with the source position (xs, ys)
// accumulated in float and calls put(k, r, sx, sy) where the source pixel
// exists, clear(k, r) elsewhere.
template <class Put, class Clear>
void rotnearest(float angle, Put put, Clear clear) {
    RotSetup q = rotsetup(angle);
    const float fw = float(ifw), fh = float(ifh);
    for (int r = 0; r < ifh; ++r) {
        float xs = (q.cx + 0.5f) - q.c * q.cx + q.s * q.cy - q.s * float(r);
        float ys = (q.cy + 0.5f) - q.cx * q.s - q.cy * q.c + float(r) * q.c;
        for (int k = 0; k < ifw; ++k) {
            if (xs >= 0 && ys >= 0 && xs < fw && ys < fh)
                put(k, r, int(xs), int(ys));
            else
                clear(k, r);
            xs += q.c;
            ys += q.s;
        }
    }
}

// Bilinear: as nearest without the half-pixel terms; a pixel is written
// where its four source pixels exist, the rest is 0.
template <class Put, class Clear>
void rotbilinear(float angle, Put put, Clear clear) {
    RotSetup q = rotsetup(angle);
    const float fw = float(ifw - 1), fh = float(ifh - 1);
    for (int r = 0; r < ifh; ++r) {
        float xs = q.cx - q.c * q.cx + q.s * q.cy - q.s * float(r);
        float ys = q.cy - q.cx * q.s - q.cy * q.c + float(r) * q.c;
        for (int k = 0; k < ifw; ++k) {
            if (xs >= 0 && ys >= 0 && xs < fw && ys < fh) {
                int sx = int(xs), sy = int(ys);
                put(k, r, sx, sy, xs - float(sx), ys - float(sy));
            } else {
                clear(k, r);
            }
            xs += q.c;
            ys += q.s;
        }
    }
}

// The bilinear value of four neighbours, truncated.
inline int bilinear(int p00, int p10, int p01, int p11, float fx, float fy) {
    float top = float(p00) + float(p10 - p00) * fx;
    float bottom = float(p01) + float(p11 - p01) * fx;
    return int((bottom - top) * fy + top);
}

}  // namespace

void greyrot(int src, int dst, float angle) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    greyzeroborder(d, ifw, ifh);
    const size_t st = ifw_grey;
    const uint8_t *s0 = greyrow(s, 0);
    uint8_t *d0 = greyrow(d, 0);
    rotnearest(
        angle, [&](int k, int r, int sx, int sy) { d0[r * st + k] = s0[sy * st + sx]; },
        [&](int k, int r) { d0[r * st + k] = 0; });
}
void colrot(int src, int dst, float angle) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    const size_t st = ifw_col;
    rotnearest(
        angle,
        [&](int k, int r, int sx, int sy) {
            const uint8_t *p = s + sy * st + sx * 3;
            uint8_t *q = d + r * st + k * 3;
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        },
        [&](int k, int r) {
            uint8_t *q = d + r * st + k * 3;
            q[0] = q[1] = q[2] = 0;
        });
}
void binrot(int src, int dst, float angle) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    const size_t st = ifw_bin;
    std::memset(d, 0, binblock());
    rotnearest(
        angle,
        [&](int k, int r, int sx, int sy) {
            unsigned bit = (s[sy * st + (sx >> 3)] >> (sx & 7)) & 1;
            d[r * st + (k >> 3)] |= uint8_t(bit << (k & 7));
        },
        [](int, int) {});
}

void greyrotbil(int src, int dst, float angle) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    greyzeroborder(d, ifw, ifh);
    const size_t st = ifw_grey;
    const uint8_t *s0 = greyrow(s, 0);
    uint8_t *d0 = greyrow(d, 0);
    rotbilinear(
        angle,
        [&](int k, int r, int sx, int sy, float fx, float fy) {
            const uint8_t *p = s0 + sy * st + sx;
            d0[r * st + k] = uint8_t(bilinear(p[0], p[1], p[st], p[st + 1], fx, fy));
        },
        [&](int k, int r) { d0[r * st + k] = 0; });
}
void colrotbil(int src, int dst, float angle) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    const size_t st = ifw_col;
    rotbilinear(
        angle,
        [&](int k, int r, int sx, int sy, float fx, float fy) {
            const uint8_t *p = s + sy * st + sx * 3;
            uint8_t *q = d + r * st + k * 3;
            for (int ch = 0; ch < 3; ++ch)
                q[ch] = uint8_t(bilinear(p[ch], p[ch + 3], p[st + ch], p[st + ch + 3], fx, fy));
        },
        [&](int k, int r) {
            uint8_t *q = d + r * st + k * 3;
            q[0] = q[1] = q[2] = 0;
        });
}

// ===================================================================== zooms

namespace {

void checkzoom(float fx, float fy) {
    if (!(fx > 0) || !(fy >= 0)) ima_error("zoom, wrong fx fy");
}

// Source column of every result column (nearest pixel zoom): the source is
// walked with an accumulator of 1/fx per result column.
std::vector<int> zoomcolumns(float fx) {
    int n = fx >= 1 ? ifw : int(float(ifw) * fx);
    std::vector<int> cols = scratch<int>(size_t(n), "zoom, allocation problem");
    float acc = 0, inc = 1 / fx;
    int si = 0;
    for (int k = 0; k < n; ++k) {
        cols[k] = std::min(si, ifw - 1);
        acc += inc;
        if (acc >= 1) {
            float whole = std::floor(acc);     // acc <= ifw + 1 here
            si = std::min(si + int(whole), ifw);
            acc -= whole;
        }
    }
    return cols;
}

// Number of result rows and the source row of result row r.
int zoomrows(float fy) {
    if (fy >= 1) return ifh;
    int n = 0;
    while (n < ifh && float(n) < float(ifh) * fy) ++n;
    return n;
}
int zoomsrcrow(int r, float fy) { return std::min(int(float(r) / fy), ifh - 1); }

}  // namespace

void greyzoom(int src, int dst, float fx, float fy) {
    checkzoom(fx, fy);
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    if (fx < 1 || fy < 1)
        std::memset(d, 0, greyblock());
    else
        greyzeroborder(d, ifw, ifh);
    std::vector<int> cols = zoomcolumns(fx);
    const int n = int(cols.size()), nrows = zoomrows(fy);
    int prev = -1;
    for (int r = 0; r < nrows; ++r) {
        int sr = zoomsrcrow(r, fy);
        uint8_t *drow = greyrow(d, r);
        if (sr == prev) {
            std::memcpy(drow, greyrow(d, r - 1), n);
            continue;
        }
        const uint8_t *srow = greyrow(s, sr);
        for (int k = 0; k < n; ++k) drow[k] = srow[cols[k]];
        prev = sr;
    }
}
void colzoom(int src, int dst, float fx, float fy) {
    checkzoom(fx, fy);
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    if (fx < 1 || fy < 1) std::memset(d, 0, colblock());
    std::vector<int> cols = zoomcolumns(fx);
    const int n = int(cols.size()), nrows = zoomrows(fy);
    int prev = -1;
    for (int r = 0; r < nrows; ++r) {
        int sr = zoomsrcrow(r, fy);
        uint8_t *drow = d + size_t(r) * ifw_col;
        if (sr == prev) {
            std::memcpy(drow, drow - ifw_col, size_t(n) * 3);
            continue;
        }
        const uint8_t *srow = s + size_t(sr) * ifw_col;
        for (int k = 0; k < n; ++k) {
            const uint8_t *p = srow + cols[k] * 3;
            drow[3 * k] = p[0];
            drow[3 * k + 1] = p[1];
            drow[3 * k + 2] = p[2];
        }
        prev = sr;
    }
}
void binzoom(int src, int dst, float fx, float fy) {
    checkzoom(fx, fy);
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    std::memset(d, 0, binblock());
    std::vector<int> cols = zoomcolumns(fx);
    const int n = int(cols.size()), nrows = zoomrows(fy);
    const size_t st = ifw_bin;
    int prev = -1;
    for (int r = 0; r < nrows; ++r) {
        int sr = zoomsrcrow(r, fy);
        uint8_t *drow = d + r * st;
        if (sr == prev) {
            std::memcpy(drow, drow - st, st);
            continue;
        }
        const uint8_t *srow = s + sr * st;
        for (int k0 = 0; k0 < n; k0 += 8) {
            unsigned byte = 0;
            for (int b = 0; b < 8 && k0 + b < n; ++b) {
                int c = cols[k0 + b];
                byte |= ((srow[c >> 3] >> (c & 7)) & 1u) << b;
            }
            drow[k0 >> 3] = uint8_t(byte);
        }
        prev = sr;
    }
}

namespace {

// Source position of each result column (bilinear zoom): index and weight.
struct Tap {
    int i;
    float f;
};

// n result positions k / scale, the index kept at most size - 2 so that
// index + 1 exists (a position rounded onto the last pixel gets weight 1).
std::vector<Tap> biltaps(int n, float scale, int size) {
    std::vector<Tap> t = scratch<Tap>(size_t(n), "zoombil, allocation problem");
    for (int k = 0; k < n; ++k) {
        float p = float(k) / scale;
        int i = std::min(ifloor(p), std::max(size - 2, 0));
        t[k] = {i, p - float(i)};
    }
    return t;
}

int bilcount(int size, float f) {
    float n = float(size - 1) * f;
    return n >= float(size) ? size : int(n);
}

}  // namespace

namespace {

// The horizontal pass over bytes: out[j] = a + (b - a) f[j] with a the byte
// at idx[j] and b the one step bytes further (one pixel on). Where the
// processor has AVX2 (checked once), eight at a time: when the eight pairs
// lie within 16 bytes (enlarging zooms), a byte shuffle of one load picks
// them (group[g] holds the shuffle of a, then of b, relative to the first
// index; -1 when they do not fit), else a 32-bit gather at each idx[j]
// brings both bytes, since step is at most 3.
struct LerpGroup {
    int8_t a[16], b[16];   // bytes 0..7 used; the rest -1 (zero)
    bool near;
};

LerpGroup lerpgroup(const int32_t *idx, int step) {
    LerpGroup g;
    std::memset(g.a, -1, sizeof g.a);
    std::memset(g.b, -1, sizeof g.b);
    g.near = idx[7] + step - idx[0] < 16 && idx[7] >= idx[0];
    for (int k = 0; k < 8 && g.near; ++k) {
        const int d = idx[k] - idx[0];
        if (d < 0) g.near = false;
        else g.a[k] = int8_t(d), g.b[k] = int8_t(d + step);
    }
    return g;
}

const bool hasavx2 = __builtin_cpu_supports("avx2");
__attribute__((target("avx2"))) size_t lerprow8(const uint8_t *p, const int32_t *idx, const float *f, size_t n,
                                                int step, const LerpGroup *group, float *out) {
    const __m256i low = _mm256_set1_epi32(255);
    const __m128i shift = _mm_cvtsi32_si128(8 * step);
    size_t j = 0;
    for (; j + 8 <= n; j += 8) {
        const LerpGroup &g = group[j / 8];
        __m256i a, b;
        if (g.near) {
            // 16 bytes from idx[j] may reach past the row's last pair into
            // the next row (the caller keeps them inside the block)
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + idx[j]));
            a = _mm256_cvtepu8_epi32(_mm_shuffle_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i *>(g.a))));
            b = _mm256_cvtepu8_epi32(_mm_shuffle_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i *>(g.b))));
        } else {
            const __m256i i = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(idx + j));
            const __m256i w = _mm256_i32gather_epi32(reinterpret_cast<const int *>(p), i, 1);
            a = _mm256_and_si256(w, low);
            b = _mm256_and_si256(_mm256_srl_epi32(w, shift), low);
        }
        const __m256 diff = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(b, a)), _mm256_loadu_ps(f + j));
        _mm256_storeu_ps(out + j, _mm256_add_ps(_mm256_cvtepi32_ps(a), diff));
    }
    return j;
}

// out[i] = byte(int((bottom[i] - top[i]) w + top[i])), 16 at a time; the
// low byte of the truncated value, as the cast keeps it.
void blendrow(const float *top, const float *bottom, float w, uint8_t *out, size_t n) {
    const __m128 wv = _mm_set1_ps(w);
    const __m128i low = _mm_set1_epi32(255);
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i q[4];
        for (int k = 0; k < 4; ++k) {
            const __m128 t = _mm_loadu_ps(top + i + 4 * k), b = _mm_loadu_ps(bottom + i + 4 * k);
            q[k] = _mm_and_si128(_mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, t), wv), t)), low);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                         _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3])));
    }
    for (; i < n; ++i) out[i] = uint8_t(int((bottom[i] - top[i]) * w + top[i]));
}

// Bilinear zoom of pixels of bpp bytes, separable: each source row needed
// is interpolated horizontally once into a float row (the two rows in use
// are kept), then each result row is blended from its two float rows. The
// arithmetic is that of bilinear(): top and bottom, then top to bottom.
template <int bpp, class SrcRow, class DstRow>
void zoombilinear(float fx, float fy, SrcRow srcrow, DstRow dstrow) {
    const int nx = bilcount(ifw, fx), ny = bilcount(ifh, fy);
    if (nx == 0 || ny == 0) return;
    std::vector<Tap> tx = biltaps(nx, fx, ifw), ty = biltaps(ny, fy, ifh);
    const size_t n = size_t(nx) * bpp;
    // byte index and weight of each result byte of a row
    std::vector<int32_t> idx = scratch<int32_t>(n, "zoombil, allocation problem");
    std::vector<float> weight = scratch<float>(n, "zoombil, allocation problem");
    for (int k = 0; k < nx; ++k)
        for (int ch = 0; ch < bpp; ++ch) {
            idx[size_t(k) * bpp + ch] = tx[k].i * bpp + ch;
            weight[size_t(k) * bpp + ch] = tx[k].f;
        }
    std::vector<LerpGroup> group = scratch<LerpGroup>(n / 8, "zoombil, allocation problem");
    for (size_t j = 0; j + 8 <= n; j += 8) group[j / 8] = lerpgroup(idx.data() + j, bpp);
    // a shuffled load may read 16 bytes from the last group's first index
    const size_t lastrow = (n / 8 && group[n / 8 - 1].near) ? size_t(idx[(n / 8 - 1) * 8]) + 16 : 0;
    // bytes from the last row's start to the block's end
    const size_t lastavail = bpp == 1 ? size_t(ifw) + 1 + size_t(ifw_grey) : size_t(ifw_col);
    std::vector<float> rows = scratch<float>(2 * n, "zoombil, allocation problem");
    float *upper = rows.data(), *lower = rows.data() + n;
    int upperrow = -1, lowerrow = -1;
    auto horizontal = [&](int sr, float *out) {
        const uint8_t *p = srcrow(sr);
        // the vector path stays inside the block: below the last grey row
        // lie its border and the border row, the colour block ends with it
        const bool safe = sr < ifh - 1 || lastrow <= lastavail;
        size_t j = hasavx2 && safe ? lerprow8(p, idx.data(), weight.data(), n, bpp, group.data(), out) : 0;
        for (; j < n; ++j) out[j] = float(p[idx[j]]) + float(p[idx[j] + bpp] - p[idx[j]]) * weight[j];
    };
    for (int r = 0; r < ny; ++r) {
        const int iy = ty[r].i;
        if (upperrow != iy) {
            if (lowerrow == iy) {
                std::swap(upper, lower);
                std::swap(upperrow, lowerrow);
            } else {
                horizontal(iy, upper);
                upperrow = iy;
            }
        }
        if (lowerrow != iy + 1) {
            horizontal(iy + 1, lower);
            lowerrow = iy + 1;
        }
        blendrow(upper, lower, ty[r].f, dstrow(r), n);
    }
}

}  // namespace

void greyzoombil(int src, int dst, float fx, float fy) {
    checkzoom(fx, fy);
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    std::memset(d, 0, greyblock());   // unwritten last columns and rows stay 0
    zoombilinear<1>(fx, fy, [s](int r) { return greyrow(s, r); }, [d](int r) { return greyrow(d, r); });
}
void colzoombil(int src, int dst, float fx, float fy) {
    checkzoom(fx, fy);
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    std::memset(d, 0, colblock());
    zoombilinear<3>(fx, fy, [s](int r) { return s + size_t(r) * ifw_col; },
                    [d](int r) { return d + size_t(r) * ifw_col; });
}

// ================================================================ trapezoid

int trapezoidrow(int x1, int y1, int x2, int y2) {
    if (x1 == x2) ima_error("line has to be declined");
    double X1 = double(x1) - ifx, Y1 = double(y1) - ify, X2 = double(x2) - ifx, Y2 = double(y2) - ify;
    double v = Y1 + (Y2 - Y1) * ((ifw - 1) * 0.5 - X1) / (X2 - X1);
    bool valid = Y1 > Y2 ? v < -1 : v > ifh;
    if (!valid) ima_error("vanishing point not valide");
    return int(std::clamp(v, -1e9, 1e9));    // far enough to be parallel
}

namespace {

// Every row is rescaled about the centre column by the factor that makes
// lines through the vanishing row v vertical, keeping the base row b.
template <class Put>
void trapezoidwalk(int v, Put put) {
    if (v > -1 && v < ifh) ima_error("vanishing point not valide");
    const int b = v >= 0 ? 0 : ifh - 1;
    const double centre = (ifw - 1) * 0.5;
    for (int r = 0; r < ifh; ++r) {
        double t = double(r - b) / double(v - b);
        for (int k = 0; k < ifw; ++k) {
            double xs = (centre - k) * t + k;
            int i = int(xs);
            if (i >= ifw - 1)
                put(k, r, ifw - 1, 0.0, false);
            else if (i < 0)
                put(k, r, 0, 0.0, false);
            else
                put(k, r, i, xs - i, true);
        }
    }
}

}  // namespace

void greytrapezoid(int src, int dst, int v) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    greyzeroborder(d, ifw, ifh);
    trapezoidwalk(v, [&](int k, int r, int i, double f, bool interp) {
        const uint8_t *p = greyrow(s, r) + i;
        greyrow(d, r)[k] = interp ? uint8_t(int(p[0] + 0.5 + f * (p[1] - p[0]))) : p[0];
    });
}
void coltrapezoid(int src, int dst, int v) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    trapezoidwalk(v, [&](int k, int r, int i, double f, bool interp) {
        const uint8_t *p = s + size_t(r) * ifw_col + i * 3;
        uint8_t *q = d + size_t(r) * ifw_col + k * 3;
        for (int ch = 0; ch < 3; ++ch)
            q[ch] = interp ? uint8_t(int(p[ch] + 0.5 + f * (p[ch + 3] - p[ch]))) : p[ch];
    });
}

// ================================================================ arithmetic

namespace {

// dst op= src over the grey run / the colour block.
template <class Op>
void greyimageop(int src, int dst) {
    bytes2<Op>(greyrun(pixels(dst)), greyrun(pixels(src)), greyrunlen());
}
template <class Op>
void colimageop(int src, int dst) {
    bytes2<Op>(pixels(dst), pixels(src), colblock());
}
template <class Op>
void greyconstop(uint8_t c, int dst) {
    Pattern p = greypattern(c);
    bytespattern<Op>(greyrun(pixels(dst)), p.b, greyrunlen());
}
template <class Op>
void colconstop(int rgb, int dst) {
    Pattern p = colpattern(uint32_t(rgb));
    bytespattern<Op>(pixels(dst), p.b, colblock());
}
void greyfill(int dst, uint8_t v) { std::memset(greyrun(pixels(dst)), v, greyrunlen()); }

// A table of 256 results applied to every byte of a run.
void applylut(uint8_t *p, size_t n, const uint8_t *lut) {
    for (size_t i = 0; i < n; ++i) p[i] = lut[p[i]];
}
// Three tables, one per colour channel.
void applylut3(uint8_t *p, size_t npix, const uint8_t (*lut)[256]) {
    for (size_t i = 0; i < npix; ++i, p += 3) {
        p[0] = lut[0][p[0]];
        p[1] = lut[1][p[1]];
        p[2] = lut[2][p[2]];
    }
}

uint8_t multlpix(int a, int64_t b, int fact) {
    int64_t r = int64_t(a) * b / fact;
    return r > 255 ? 255 : uint8_t(r);
}
uint8_t divpix(int a, int64_t b, int fact) {
    int64_t p = int64_t(a) * fact;
    return uint8_t(b == 0 ? p : p / b);
}

template <class F>
void greypairs(int src, int dst, F f) {
    uint8_t *d = greyrun(pixels(dst));
    const uint8_t *s = greyrun(pixels(src));
    for (size_t i = 0, n = greyrunlen(); i < n; ++i) d[i] = f(d[i], s[i]);
}
template <class F>
void colpairs(int src, int dst, F f) {
    uint8_t *d = pixels(dst);
    const uint8_t *s = pixels(src);
    for (size_t i = 0, n = colblock(); i < n; ++i) d[i] = f(d[i], s[i]);
}
template <class F>
void greyconstlut(int c, int dst, F f) {
    uint8_t lut[256];
    for (int a = 0; a < 256; ++a) lut[a] = f(a, c);
    applylut(greyrun(pixels(dst)), greyrunlen(), lut);
}
template <class F>
void colconstlut(int rgb, int dst, F f) {
    uint8_t lut[3][256];
    for (int ch = 0; ch < 3; ++ch)
        for (int a = 0; a < 256; ++a) lut[ch][a] = f(a, (rgb >> (16 - 8 * ch)) & 0xFF);
    applylut3(pixels(dst), size_t(ifw) * ifh, lut);
}

void checkfact(int fact) {
    if (fact == 0) ima_error("multl, fact!=0");
}

}  // namespace

void greyadd(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) greyimageop<OpAdd>(sc, dst);
    else greyconstop<OpAdd>(uint8_t(sc), dst);
}
void coladd(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) colimageop<OpAdd>(sc, dst);
    else colconstop<OpAdd>(sc, dst);
}
void greysub(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) greyimageop<OpSub>(sc, dst);
    else greyconstop<OpSub>(uint8_t(sc), dst);
}
void colsub(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) colimageop<OpSub>(sc, dst);
    else colconstop<OpSub>(sc, dst);
}

// A grey constant c is a whole FIXNUM: a + c is limited to 255 when it
// reaches 256 and otherwise stored in 8 bits, so c >= 255 gives 255, a
// negative c wraps like a plain modulo add.
void greyaddl(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) greyimageop<OpAddSat>(sc, dst);
    else if (sc >= 255) greyfill(dst, 255);
    else if (sc >= 0) greyconstop<OpAddSat>(uint8_t(sc), dst);
    else greyconstop<OpAdd>(uint8_t(sc), dst);
}
void coladdl(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) colimageop<OpAddSat>(sc, dst);
    else colconstop<OpAddSat>(sc, dst);
}
// a - c when c < a (signed), else 0, stored in 8 bits: c >= 255 gives 0,
// a negative c wraps like a plain modulo subtraction.
void greysubl(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) greyimageop<OpSubSat>(sc, dst);
    else if (sc >= 255) greyfill(dst, 0);
    else if (sc >= 0) greyconstop<OpSubSat>(uint8_t(sc), dst);
    else greyconstop<OpSub>(uint8_t(sc), dst);
}
void colsubl(int sc, int dst, int mode) {
    if (mode == OP_IMAGE) colimageop<OpSubSat>(sc, dst);
    else colconstop<OpSubSat>(sc, dst);
}

void greymultl(int sc, int dst, int fact, int mode) {
    checkfact(fact);
    auto f = [fact](int a, int b) { return multlpix(a, b, fact); };
    if (mode == OP_IMAGE) greypairs(sc, dst, f);
    else greyconstlut(sc, dst, f);
}
void colmultl(int sc, int dst, int fact, int mode) {
    checkfact(fact);
    auto f = [fact](int a, int b) { return multlpix(a, b, fact); };
    if (mode == OP_IMAGE) colpairs(sc, dst, f);
    else colconstlut(sc, dst, f);
}
void greydiv(int sc, int dst, int fact, int mode) {
    auto f = [fact](int a, int b) { return divpix(a, b, fact); };
    if (mode == OP_IMAGE) {
        greypairs(sc, dst, f);
    } else {
        if (sc == 0) ima_error("div, division by 0");
        greyconstlut(sc, dst, f);
    }
}
void coldiv(int sc, int dst, int fact, int mode) {
    auto f = [fact](int a, int b) { return divpix(a, b, fact); };
    if (mode == OP_IMAGE) {
        colpairs(sc, dst, f);
    } else {
        if (!(sc & 0xFF0000) || !(sc & 0xFF00) || !(sc & 0xFF)) ima_error("div, division by 0");
        colconstlut(sc, dst, f);
    }
}

void binsup(int src, int dst) { bytes2<OpOr>(pixels(dst), pixels(src), binblock()); }
void bininf(int src, int dst) { bytes2<OpAnd>(pixels(dst), pixels(src), binblock()); }
void greysup(int src, int dst) { greyimageop<OpMax>(src, dst); }
void greyinf(int src, int dst) { greyimageop<OpMin>(src, dst); }
void colsup(int src, int dst) { colimageop<OpMax>(src, dst); }
void colinf(int src, int dst) { colimageop<OpMin>(src, dst); }

// ===================================================================== mask

// Row by row over the pixels: 8 pixels a mask byte, selected with byte masks
// from tables (grey: 16 pixels per SSE2 step, colour: three words per mask byte).
void greymask(int sc, int mask, int dst, int mode) {
    const uint8_t *m = pixels(mask);
    uint8_t *d = pixels(dst);
    const uint8_t *s = mode == OP_IMAGE ? pixels(sc) : nullptr;
    const uint64_t cword = uint64_t(uint8_t(sc)) * 0x0101010101010101ULL;
    const int full = ifw / 8;
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *mrow = m + size_t(r) * ifw_bin;
        uint8_t *drow = greyrow(d, r);
        const uint8_t *srow = s ? greyrow(s, r) : nullptr;
        int j = 0;
        for (; j + 2 <= full; j += 2) {   // 16 pixels at a time
            unsigned m0 = mrow[j], m1 = mrow[j + 1];
            if (!(m0 | m1)) continue;
            __m128i e = _mm_set_epi64x(int64_t(expand8[m1]), int64_t(expand8[m0]));
            __m128i v = s ? load16(srow + 8 * j) : _mm_set1_epi64x(int64_t(cword));
            __m128i old = load16(drow + 8 * j);
            store16(drow + 8 * j, _mm_or_si128(_mm_and_si128(e, v), _mm_andnot_si128(e, old)));
        }
        for (; j < full; ++j) {
            unsigned mb = mrow[j];
            if (!mb) continue;
            uint64_t e = expand8[mb];
            uint64_t v = s ? load64(srow + 8 * j) : cword;
            store64(drow + 8 * j, (v & e) | (load64(drow + 8 * j) & ~e));
        }
        for (int k = 8 * full; k < ifw; ++k)
            if ((mrow[k >> 3] >> (k & 7)) & 1) drow[k] = s ? srow[k] : uint8_t(sc);
    }
}
void colmask(int sc, int mask, int dst, int mode) {
    const uint8_t *m = pixels(mask);
    uint8_t *d = pixels(dst);
    const uint8_t *s = mode == OP_IMAGE ? pixels(sc) : nullptr;
    Pattern pat = colpattern(uint32_t(sc));
    const uint64_t cw[3] = {load64(pat.b), load64(pat.b + 8), load64(pat.b + 16)};
    const int full = ifw / 8;
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *mrow = m + size_t(r) * ifw_bin;
        uint8_t *drow = d + size_t(r) * ifw_col;
        const uint8_t *srow = s ? s + size_t(r) * ifw_col : nullptr;
        for (int j = 0; j < full; ++j) {
            unsigned mb = mrow[j];
            if (!mb) continue;
            for (int w = 0; w < 3; ++w) {
                uint64_t e = expand24[mb][w];
                uint8_t *q = drow + 24 * j + 8 * w;
                uint64_t v = s ? load64(srow + 24 * j + 8 * w) : cw[w];
                store64(q, (v & e) | (load64(q) & ~e));
            }
        }
        for (int k = 8 * full; k < ifw; ++k)
            if ((mrow[k >> 3] >> (k & 7)) & 1)
                for (int ch = 0; ch < 3; ++ch) drow[3 * k + ch] = s ? srow[3 * k + ch] : pat.b[ch];
    }
}

// ================================================================== combine

namespace {

inline uint8_t combinepix(float f1, int a, float f2, int b) {
    float v = f1 * float(a) + f2 * float(b) + 0.5f;
    if (!(v >= 0)) return 0;       // negative (or not a number)
    if (v > 255) return 255;
    return uint8_t(v);
}

}  // namespace

void greycombine(float f1, int src, float f2, int dst) {
    greypairs(src, dst, [f1, f2](int d, int s) { return combinepix(f1, s, f2, d); });
}
void colcombine(float f1, int src, float f2, int dst) {
    colpairs(src, dst, [f1, f2](int d, int s) { return combinepix(f1, s, f2, d); });
}
