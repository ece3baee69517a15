// Point and neighbourhood transforms on raw pixel blocks.
//
// Layouts (see intern.h): BIN 1 bit a pixel, bit 0 leftmost, row stride
// ifw_bin; GREY one byte a pixel inside a one-pixel border, stride
// ifw_grey; COL red, green, blue bytes. Binary neighbourhoods run on 64-bit
// words (64 pixels at a time), grey ones on SSE2 vectors of 16 pixels, the
// line operators with the van Herk/Gil-Werman running extrema, the median
// with running histograms.
#include "image/trans.h"
#include "image/intern.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace {

// ------------------------------------------------------------------ helpers
uint8_t *pixels(int h) { return imarray[h].data; }
size_t greyblock() { return size_t(ifw_grey) * ifh_grey; }

// Row r of a grey image of the frame, at its first pixel.
uint8_t *greyrow(uint8_t *p, int r) { return p + size_t(r + 1) * ifw_grey + 1; }
uint8_t *binrow(uint8_t *p, int r) { return p + size_t(r) * ifw_bin; }

// Scratch memory, released on every exit (an ima_error included).
template <class T>
std::vector<T> scratch(size_t n, const char *failmsg, T init = T()) {
    try {
        return std::vector<T>(n, init);
    } catch (const std::bad_alloc &) {
        ima_error(failmsg);
    }
}

// Sets the border ring of a grey image of the frame to v.
void greyring(uint8_t *p, uint8_t v) {
    std::memset(p, v, ifw_grey);
    std::memset(p + size_t(ifh + 1) * ifw_grey, v, ifw_grey);
    for (int r = 1; r <= ifh; ++r) {
        p[size_t(r) * ifw_grey] = v;
        p[size_t(r) * ifw_grey + ifw + 1] = v;
    }
}

inline __m128i load16(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void store16(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

struct OpMax {
    static __m128i v(__m128i a, __m128i b) { return _mm_max_epu8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return std::max(a, b); }
    static constexpr uint8_t neutral = 0;
};
struct OpMin {
    static __m128i v(__m128i a, __m128i b) { return _mm_min_epu8(a, b); }
    static uint8_t s(uint8_t a, uint8_t b) { return std::min(a, b); }
    static constexpr uint8_t neutral = 255;
};

// Calls f(x) for x = 0, 16, ... so that 16-byte steps cover n bytes; the
// last step overlaps the one before when n is not a multiple of 16 (the
// steps must be idempotent). Below 16 bytes g(x) runs per byte.
template <class F, class G>
void chunks16(int n, F f, G g) {
    if (n < 16) {
        for (int x = 0; x < n; ++x) g(x);
        return;
    }
    int x = 0;
    for (; x + 16 <= n; x += 16) f(x);
    if (x < n) f(n - 16);
}

// 8 pixels of a bit byte as 8 bytes of 0/1.
constexpr std::array<uint64_t, 256> makeexpand01() {
    std::array<uint64_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) t[i] |= uint64_t(1) << (8 * b);
    return t;
}
constexpr std::array<uint64_t, 256> expand01 = makeexpand01();

// Packs the 0xFF/0x00 bytes of a row of compare results into bits (16 per
// step); n pixels, row of bits cleared beyond n.
template <class Cmp, class Cmp1>
void packrow(const uint8_t *g, uint8_t *b, int n, Cmp cmp, Cmp1 cmp1, int start = 0) {
    int x = start;
    for (; x + 16 <= n; x += 16) {
        unsigned m = unsigned(_mm_movemask_epi8(cmp(load16(g + x))));
        b[x / 8] = uint8_t(m);
        b[x / 8 + 1] = uint8_t(m >> 8);
    }
    for (; x < n; x += 8) {
        unsigned m = 0;
        for (int k = 0; k < 8 && x + k < n; ++k) m |= unsigned(cmp1(g[x + k])) << k;
        b[x / 8] = uint8_t(m);
    }
}

// The threshold 32 pixels at a time where the processor has AVX2 (checked
// once); returns how many pixels of the row it did (a multiple of 32).
const bool hasavx2 = __builtin_cpu_supports("avx2");
__attribute__((target("avx2"))) int threshrow32(const uint8_t *g, uint8_t *b, int n, int low, int range) {
    const __m256i lo = _mm256_set1_epi8(char(low)), rg = _mm256_set1_epi8(char(range));
    int x = 0;
    for (; x + 32 <= n; x += 32) {
        const __m256i d = _mm256_sub_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(g + x)), lo);
        const uint32_t m = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(d, rg), d)));
        std::memcpy(b + x / 8, &m, 4);
    }
    return x;
}

}  // namespace

// ========================================================= point conversions

void bingrey(int bin, int grey) {
    uint8_t *b = pixels(bin), *g = pixels(grey);
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *br = binrow(b, r);
        uint8_t *gr = greyrow(g, r);
        int x = 0;
        for (; x + 8 <= ifw; x += 8) std::memcpy(gr + x, &expand01[br[x / 8]], 8);
        for (; x < ifw; ++x) gr[x] = (br[x / 8] >> (x % 8)) & 1;
    }
}

void greybin(int grey, int bin) {
    uint8_t *b = pixels(bin), *g = pixels(grey);
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(-1);
    for (int r = 0; r < ifh; ++r)
        packrow(greyrow(g, r), binrow(b, r), ifw,
                [&](__m128i v) { return _mm_xor_si128(_mm_cmpeq_epi8(v, zero), ones); },
                [](uint8_t v) { return v != 0; });
}

void thresh(int grey, int bin, int low, int high) {
    uint8_t *b = pixels(bin), *g = pixels(grey);
    // low <= v <= high  <=>  (v - low) mod 256 <= high - low (unsigned).
    const __m128i lo = _mm_set1_epi8(char(low)), range = _mm_set1_epi8(char(high - low));
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *gr = greyrow(g, r);
        uint8_t *br = binrow(b, r);
        packrow(gr, br, ifw,
                [&](__m128i v) {
                    __m128i d = _mm_sub_epi8(v, lo);
                    return _mm_cmpeq_epi8(_mm_min_epu8(d, range), d);
                },
                [&](uint8_t v) { return v >= low && v <= high; }, hasavx2 ? threshrow32(gr, br, ifw, low, high - low) : 0);
    }
}

int fpoint(int bin, int *x, int *y) {
    uint8_t *b = pixels(bin);
    const uint8_t lastkeep = uint8_t(ifw % 8 ? (1u << (ifw % 8)) - 1 : 0xFF);
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *row = binrow(b, r);
        for (int j = 0; j < ifw_bin; ++j) {
            unsigned v = row[j];
            if (j == ifw_bin - 1) v &= lastkeep;
            if (v) {
                *x = 8 * j + __builtin_ctz(v);
                *y = r;
                return 1;
            }
        }
    }
    return 0;
}

// ================================================================ inversion

void bininvert(int ima) {
    uint8_t *p = pixels(ima);
    size_t n = size_t(ifw_bin) * ifh;
    for (size_t i = 0; i < n; ++i) p[i] = uint8_t(~p[i]);
}
void greyinvert(int ima) {
    uint8_t *p = pixels(ima);
    const __m128i ones = _mm_set1_epi8(-1);
    for (int r = 0; r < ifh; ++r) {
        uint8_t *row = greyrow(p, r);
        int x = 0;
        for (; x + 16 <= ifw; x += 16) store16(row + x, _mm_xor_si128(load16(row + x), ones));
        for (; x < ifw; ++x) row[x] = uint8_t(255 - row[x]);
    }
}
void colinvert(int ima) {
    uint8_t *p = pixels(ima);
    size_t n = size_t(ifw_col) * ifh;
    for (size_t i = 0; i < n; ++i) p[i] = uint8_t(255 - p[i]);
}

// ====================================================== binary neighbourhood

namespace {

// Rows of a binary image as 64-bit words (pixel x = bit x % 64 of word
// x / 64), with one guard word on each side. Bits beyond the last pixel,
// the guard words and rows outside the frame hold the fill value, so the
// shifts below bring fill in at the frame's edge.
struct BinRows {
    int nw;                       // words a row
    std::vector<uint64_t> buf;    // three rows of nw + 2 words
    explicit BinRows(const char *failmsg)
        : nw((ifw + 63) / 64), buf(scratch<uint64_t>(3 * size_t(nw + 2), failmsg)) {}
    uint64_t *slot(int i) { return buf.data() + size_t(i) * (nw + 2) + 1; }
};

void loadbinrow(const uint8_t *img, int r, uint64_t *w, int nw, uint64_t fill) {
    w[-1] = fill;
    w[nw] = fill;
    if (r < 0 || r >= ifh) {
        for (int i = 0; i < nw; ++i) w[i] = fill;
        return;
    }
    w[nw - 1] = 0;
    std::memcpy(w, img + size_t(r) * ifw_bin, ifw_bin);
    if (ifw % 64) {
        uint64_t beyond = ~uint64_t(0) << (ifw % 64);
        w[nw - 1] = (w[nw - 1] & ~beyond) | (fill & beyond);
    }
}

// The row with the pixel to the west (source x - 1) or east (x + 1) of
// each pixel brought onto it.
inline uint64_t fromwest(const uint64_t *w, int i) { return (w[i] << 1) | (w[i - 1] >> 63); }
inline uint64_t fromeast(const uint64_t *w, int i) { return (w[i] >> 1) | (w[i + 1] << 63); }

// dst = AND (minimum) or OR (maximum) over the mask, word by word from
// three rows held in registers' reach.
void binnbh(int src, int dst, int se, bool minimum, const char *failmsg) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    BinRows rows(failmsg);
    const int nw = rows.nw;
    const uint64_t fill = minimum ? ~uint64_t(0) : 0;
    // For AND an unselected term is forced to all ones, for OR to zero.
    uint64_t on[9];
    for (int k = 0; k < 9; ++k) {
        bool sel = (se >> k) & 1;
        on[k] = minimum ? (sel ? 0 : ~uint64_t(0)) : (sel ? ~uint64_t(0) : 0);
    }
    std::vector<uint64_t> out = scratch<uint64_t>(size_t(nw), failmsg);
    uint64_t *above = rows.slot(0), *cur = rows.slot(1), *below = rows.slot(2);
    loadbinrow(s, -1, above, nw, fill);
    loadbinrow(s, 0, cur, nw, fill);
    for (int r = 0; r < ifh; ++r) {
        loadbinrow(s, r + 1, below, nw, fill);
        for (int i = 0; i < nw; ++i) {
            uint64_t t[9] = {cur[i],           fromeast(cur, i), fromeast(below, i),
                             below[i],         fromwest(below, i), fromwest(cur, i),
                             fromwest(above, i), above[i],         fromeast(above, i)};
            uint64_t acc = fill;
            if (minimum)
                for (int k = 0; k < 9; ++k) acc &= t[k] | on[k];
            else
                for (int k = 0; k < 9; ++k) acc |= t[k] & on[k];
            out[i] = acc;
        }
        std::memcpy(binrow(d, r), out.data(), ifw_bin);
        std::swap(above, cur);
        std::swap(cur, below);
    }
}

}  // namespace

void r_binshiftone(int src, int dst, int dir, int fill) {
    static const int dxs[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};
    static const int dys[9] = {0, 0, -1, -1, -1, 0, 1, 1, 1};
    if (dir < 1 || dir > 8) return;
    const int dx = dxs[dir], dy = dys[dir];
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    BinRows rows("shift, allocation problem");
    const int nw = rows.nw;
    const uint64_t f = fill ? ~uint64_t(0) : 0;
    uint64_t *in = rows.slot(0), *out = rows.slot(1);
    // Row r reads row r + dy: walk away from the rows still to be read, so
    // that src may be dst.
    for (int k = 0; k < ifh; ++k) {
        int r = dy < 0 ? ifh - 1 - k : k;
        loadbinrow(s, r + dy, in, nw, f);
        for (int i = 0; i < nw; ++i) out[i] = dx < 0 ? fromwest(in, i) : dx > 0 ? fromeast(in, i) : in[i];
        std::memcpy(binrow(d, r), out, ifw_bin);
    }
}

void bininfnbh(int src, int /*tmp*/, int dst, int se) { binnbh(src, dst, se & 511, true, "infnbh, allocation problem"); }
void binsupnbh(int src, int /*tmp*/, int dst, int se) { binnbh(src, dst, se & 511, false, "supnbh, allocation problem"); }

// ======================================================== grey neighbourhood

namespace {

// Byte offsets of the nine mask positions in a grey block.
void maskoffsets(int se, ptrdiff_t *off, int *n) {
    const ptrdiff_t st = ifw_grey;
    const ptrdiff_t all[9] = {0, 1, st + 1, st, st - 1, -1, -st - 1, -st, -st + 1};
    *n = 0;
    for (int k = 0; k < 9; ++k)
        if ((se >> k) & 1) off[(*n)++] = all[k];
}

// dst = op over N offsets, 16 pixels a step.
template <class Op, int N>
void nbhrows(const uint8_t *s, uint8_t *d, const ptrdiff_t *off) {
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *sr = s + size_t(r + 1) * ifw_grey + 1;
        uint8_t *dr = d + size_t(r + 1) * ifw_grey + 1;
        chunks16(
            ifw,
            [&](int x) {
                __m128i acc = load16(sr + x + off[0]);
                for (int k = 1; k < N; ++k) acc = Op::v(acc, load16(sr + x + off[k]));
                store16(dr + x, acc);
            },
            [&](int x) {
                uint8_t acc = sr[x + off[0]];
                for (int k = 1; k < N; ++k) acc = Op::s(acc, sr[x + off[k]]);
                dr[x] = acc;
            });
    }
}

// The full square as a three-pixel horizontal pass into a ring of three
// row buffers and a vertical pass over them.
template <class Op>
void squarerows(const uint8_t *s, uint8_t *d, const char *failmsg) {
    const int w = ifw;
    std::vector<uint8_t> ring = scratch<uint8_t>(3 * size_t(w), failmsg);
    auto horiz = [&](int r, uint8_t *h) {   // r from -1 (top border row) to ifh
        const uint8_t *sr = s + size_t(r + 1) * ifw_grey + 1;
        chunks16(
            w, [&](int x) { store16(h + x, Op::v(Op::v(load16(sr + x - 1), load16(sr + x)), load16(sr + x + 1))); },
            [&](int x) { h[x] = Op::s(Op::s(sr[x - 1], sr[x]), sr[x + 1]); });
    };
    uint8_t *a = ring.data(), *c = a + w, *b = c + w;
    horiz(-1, a);
    horiz(0, c);
    for (int r = 0; r < ifh; ++r) {
        horiz(r + 1, b);
        uint8_t *dr = d + size_t(r + 1) * ifw_grey + 1;
        chunks16(
            w, [&](int x) { store16(dr + x, Op::v(Op::v(load16(a + x), load16(c + x)), load16(b + x))); },
            [&](int x) { dr[x] = Op::s(Op::s(a[x], c[x]), b[x]); });
        uint8_t *t = a;
        a = c;
        c = b;
        b = t;
    }
}

template <class Op>
void greynbh(int src, int dst, int se, const char *failmsg) {
    uint8_t *s = pixels(src), *d = pixels(dst);
    se &= 511;
    greyring(s, Op::neutral);
    if (se == 0) {
        std::memset(d, Op::neutral, greyblock());
        return;
    }
    if (src == dst) {   // the fast forms read unwritten source pixels only
        std::vector<uint8_t> copy = scratch<uint8_t>(greyblock(), failmsg);
        std::memcpy(copy.data(), s, greyblock());
        greyring(d, Op::neutral);
        if (se == 511) squarerows<Op>(copy.data(), d, failmsg);
        else {
            ptrdiff_t off[9];
            int n;
            maskoffsets(se, off, &n);
            switch (n) {
            case 1: nbhrows<Op, 1>(copy.data(), d, off); break;
            case 2: nbhrows<Op, 2>(copy.data(), d, off); break;
            case 3: nbhrows<Op, 3>(copy.data(), d, off); break;
            case 4: nbhrows<Op, 4>(copy.data(), d, off); break;
            case 5: nbhrows<Op, 5>(copy.data(), d, off); break;
            case 6: nbhrows<Op, 6>(copy.data(), d, off); break;
            case 7: nbhrows<Op, 7>(copy.data(), d, off); break;
            case 8: nbhrows<Op, 8>(copy.data(), d, off); break;
            default: nbhrows<Op, 9>(copy.data(), d, off); break;
            }
        }
        return;
    }
    greyring(d, Op::neutral);
    if (se == 511) {
        squarerows<Op>(s, d, failmsg);
        return;
    }
    ptrdiff_t off[9];
    int n;
    maskoffsets(se, off, &n);
    switch (n) {
    case 1: nbhrows<Op, 1>(s, d, off); break;
    case 2: nbhrows<Op, 2>(s, d, off); break;
    case 3: nbhrows<Op, 3>(s, d, off); break;
    case 4: nbhrows<Op, 4>(s, d, off); break;
    case 5: nbhrows<Op, 5>(s, d, off); break;
    case 6: nbhrows<Op, 6>(s, d, off); break;
    case 7: nbhrows<Op, 7>(s, d, off); break;
    case 8: nbhrows<Op, 8>(s, d, off); break;
    default: nbhrows<Op, 9>(s, d, off); break;
    }
}

// The per-direction passes in their visiting order (see trans.h).
template <class Op>
void greypasses(int src, int dst, int se) {
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    const ptrdiff_t st = ifw_grey;
    const ptrdiff_t offk[9] = {0, 1, st + 1, st, st - 1, -1, -st - 1, -st, -st + 1};
    for (int k = 1; k <= 8; ++k) {
        if (!((se >> k) & 1)) continue;
        const ptrdiff_t o = offk[k];
        if (k <= 4) {
            for (int r = 0; r < ifh; ++r)
                for (int x = 0; x < ifw; ++x) {
                    size_t p = size_t(r + 1) * st + x + 1;
                    d[p] = Op::s(d[p], s[p + o]);
                }
        } else {
            for (int r = ifh - 1; r >= 0; --r)
                for (int x = ifw - 1; x >= 0; --x) {
                    size_t p = size_t(r + 1) * st + x + 1;
                    d[p] = Op::s(d[p], s[p + o]);
                }
        }
    }
}

}  // namespace

void greyinfnbh(int src, int dst, int se) { greynbh<OpMin>(src, dst, se, "infnbh, allocation problem"); }
void greysupnbh(int src, int dst, int se) { greynbh<OpMax>(src, dst, se, "supnbh, allocation problem"); }
void r_greyinfnbh(int src, int dst, int se) { greypasses<OpMin>(src, dst, se); }
void r_greysupnbh(int src, int dst, int se) { greypasses<OpMax>(src, dst, se); }

// ============================================================ line segments

namespace {

// The digital line of the operators: geometry shared by every translated
// copy of the line.
struct LineGeom {
    bool vertical;     // main axis along y
    int n, m;          // main and cross lengths
    int sign;          // direction of the offset steps
    int half;          // window covers half positions on each side
    std::vector<int32_t> off;    // cross offset of line position i
    std::vector<int32_t> first;  // first i with |off| = v, n when none
};

LineGeom linegeom(float angle, int size, const char *failmsg) {
    LineGeom g;
    float a;
    if (!std::isfinite(angle)) a = 0;
    else if (std::fabs(angle) < 1e9f) {
        int q = int(angle) / 180;
        a = angle - 180.0f * float(q);
    } else {
        a = float(std::fmod(double(angle), 180.0));
    }
    if (a < -90) a += 180;
    if (a > 90) a -= 180;
    float ap = a;
    g.vertical = false;
    if (a > 45) {
        ap = 90 - a;
        g.vertical = true;
    } else if (a < -45) {
        ap = -90 - a;
        g.vertical = true;
    }
    g.n = g.vertical ? ifh : ifw;
    g.m = g.vertical ? ifw : ifh;
    const float r = float(double(ap) * 3.14159265358979323846 / 180.0);
    const float t = std::tan(r);
    g.sign = t >= 0 ? 1 : -1;
    double kk = std::trunc((2.0 * double(size) + 1.0) * double(std::cos(r)));
    kk = std::clamp(kk, -1.0, 2.0 * g.n + 1);
    long k = long(kk);
    if (k % 2 == 0) k += 1;
    g.half = int(std::max(k, 1L) / 2);
    g.off = scratch<int32_t>(size_t(g.n), failmsg);
    g.first = scratch<int32_t>(size_t(g.n) + 1, failmsg, g.n);
    int offset = 0;
    double acc = 0;
    for (int i = 0; i < g.n; ++i) {
        g.off[i] = offset;
        int v = offset < 0 ? -offset : offset;
        if (g.first[v] == g.n) g.first[v] = i;
        acc += t;
        if (std::fabs(acc) >= 1) {
            offset += g.sign;
            acc -= g.sign;
        }
    }
    return g;
}

// Running extrema over windows of k = 2 half + 1 values (van Herk/Gil-
// Werman): out[j] = op of pad[j .. j + 2 half] for j < len, where pad holds
// len values with half neutral values on each side. Blocks of k values get
// a forward running extremum from their start and a backward one from their
// end; a window meets at most two blocks and is the op of the backward
// value at its start and the forward value at its end.
template <class Op>
void vanherk(const uint8_t *pad, int len, int half, uint8_t *fw, uint8_t *bw, uint8_t *out) {
    const int k = 2 * half + 1, L = len + 2 * half;
    // The running values stay in registers: through memory the chain of
    // dependent steps would wait on store forwarding at every value.
    for (int b0 = 0; b0 < L; b0 += k) {
        const int e = std::min(b0 + k, L);
        uint8_t acc = pad[b0];
        fw[b0] = acc;
        for (int j = b0 + 1; j < e; ++j) fw[j] = acc = Op::s(acc, pad[j]);
        acc = pad[e - 1];
        bw[e - 1] = acc;
        for (int j = e - 2; j >= b0; --j) bw[j] = acc = Op::s(acc, pad[j]);
    }
    for (int j = 0; j < len; ++j) out[j] = Op::s(bw[j], fw[j + k - 1]);
}

// The same over rows of W bytes (W a multiple of 16), 16 lines at a time:
// row j of out = op of rows j .. j + 2 half of pad.
template <class Op>
void vanherkrows(const uint8_t *pad, int len, int half, int W, uint8_t *fw, uint8_t *bw, uint8_t *out) {
    const int k = 2 * half + 1, L = len + 2 * half;
    auto row = [W](auto *p, int j) { return p + size_t(j) * W; };
    for (int b0 = 0; b0 < L; b0 += k) {
        const int e = std::min(b0 + k, L);
        for (int x = 0; x < W; x += 16) {   // running values in registers
            __m128i acc = load16(row(pad, b0) + x);
            store16(row(fw, b0) + x, acc);
            for (int j = b0 + 1; j < e; ++j) {
                acc = Op::v(acc, load16(row(pad, j) + x));
                store16(row(fw, j) + x, acc);
            }
            acc = load16(row(pad, e - 1) + x);
            store16(row(bw, e - 1) + x, acc);
            for (int j = e - 2; j >= b0; --j) {
                acc = Op::v(acc, load16(row(pad, j) + x));
                store16(row(bw, j) + x, acc);
            }
        }
    }
    for (int j = 0; j < len; ++j)
        for (int x = 0; x < W; x += 16)
            store16(row(out, j) + x, Op::v(load16(row(bw, j) + x), load16(row(fw, j + k - 1) + x)));
}

// Transposes 16 x 16 bytes in registers: four rounds of interleaving vector
// i with vector i + 8 rotate the 8-bit (vector, byte) index by four.
inline void transpose16(__m128i *r) {
    for (int round = 0; round < 4; ++round) {
        __m128i t[16];
        for (int i = 0; i < 8; ++i) {
            t[2 * i] = _mm_unpacklo_epi8(r[i], r[i + 8]);
            t[2 * i + 1] = _mm_unpackhi_epi8(r[i], r[i + 8]);
        }
        for (int i = 0; i < 16; ++i) r[i] = t[i];
    }
}

// Vertical segments: strips of 64 columns, every column one run over all
// rows.
template <class Op>
void verticalruns(const uint8_t *s, uint8_t *d, int half, const char *failmsg) {
    constexpr int W = 16;
    const int len = ifh, L = len + 2 * half;
    std::vector<uint8_t> work = scratch<uint8_t>(size_t(W) * (3 * size_t(L) + len), failmsg);
    uint8_t *pad = work.data(), *fw = pad + size_t(W) * L, *bw = fw + size_t(W) * L, *out = bw + size_t(W) * L;
    std::memset(pad, Op::neutral, size_t(W) * half);
    std::memset(pad + size_t(W) * (half + len), Op::neutral, size_t(W) * half);
    for (int x0 = 0; x0 < ifw; x0 += W) {
        const int w = std::min(W, ifw - x0);
        for (int y = 0; y < len; ++y) std::memcpy(pad + size_t(W) * (half + y), s + size_t(y) * ifw_grey + x0, w);
        vanherkrows<Op>(pad, len, half, W, fw, bw, out);
        for (int y = 0; y < len; ++y) std::memcpy(d + size_t(y) * ifw_grey + x0, out + size_t(W) * y, w);
    }
}

// Horizontal segments: 16 rows at a time, transposed in 16 x 16 tiles so
// that each 16-byte vector holds one column of the 16 rows. Long rows go in
// pieces of at least 1024 columns, each with the half window of context on
// both sides, so that the working rows stay in the cache.
template <class Op>
void horizontalruns(const uint8_t *s, uint8_t *d, int half, const char *failmsg) {
    constexpr int W = 16;
    const int len = ifw, piece = std::min(len, std::max(1024, 4 * half)), L = piece + 2 * half;
    std::vector<uint8_t> work = scratch<uint8_t>(size_t(W) * (3 * size_t(L) + piece + 16), failmsg);
    uint8_t *pad = work.data(), *fw = pad + size_t(W) * L, *bw = fw + size_t(W) * L, *out = bw + size_t(W) * L;
    std::vector<uint8_t> neutralrow = scratch<uint8_t>(size_t(ifw_grey), failmsg, Op::neutral);
    for (int y0 = 0; y0 < ifh; y0 += 16) {
        const int rows = std::min(16, ifh - y0);
        const uint8_t *src[16];
        for (int i = 0; i < 16; ++i) src[i] = i < rows ? s + size_t(y0 + i) * ifw_grey : neutralrow.data();
        for (int x0 = 0; x0 < len; x0 += piece) {
            const int n = std::min(piece, len - x0);
            // pad row p holds column x0 - half + p; columns outside the frame are neutral.
            const int lo = std::max(0, x0 - half), hi = std::min(len, x0 + n + half);
            uint8_t *first = pad + size_t(W) * (lo - (x0 - half));
            std::memset(pad, Op::neutral, size_t(W) * (lo - (x0 - half)));
            std::memset(first + size_t(W) * (hi - lo), Op::neutral, size_t(W) * (x0 + n + half - hi));
            int x = lo;
            for (; x + 16 <= hi; x += 16) {
                __m128i t[16];
                for (int i = 0; i < 16; ++i) t[i] = load16(src[i] + x);
                transpose16(t);
                for (int i = 0; i < 16; ++i) store16(first + size_t(W) * (x - lo + i), t[i]);
            }
            for (; x < hi; ++x)
                for (int i = 0; i < 16; ++i) first[size_t(W) * (x - lo) + i] = src[i][x];
            vanherkrows<Op>(pad, n, half, W, fw, bw, out);
            x = 0;
            for (; x + 16 <= n; x += 16) {
                __m128i t[16];
                for (int i = 0; i < 16; ++i) t[i] = load16(out + size_t(W) * (x + i));
                transpose16(t);
                for (int i = 0; i < rows; ++i) store16(d + size_t(y0 + i) * ifw_grey + x0 + x, t[i]);
            }
            for (; x < n; ++x)
                for (int i = 0; i < rows; ++i) d[size_t(y0 + i) * ifw_grey + x0 + x] = out[size_t(W) * x + i];
        }
    }
}

// Horizontal segments of short windows (k = 2 half + 1 < 64), straight on
// the rows: extrema of windows of 2, 4, .., P values (P the largest power
// of two up to k) by doubling passes over the row padded with neutral
// values, then one pass joining two windows of P values that overlap, since
// an extremum may meet a value twice: [j, j + k) = [j, j + P) u [j + k - P,
// j + k). No transposition, and each pass is a few vector operations per
// 16 pixels.
template <class Op>
void shortruns(const uint8_t *s, uint8_t *d, int half, const char *failmsg) {
    const int k = 2 * half + 1;
    int P = 1;
    while (2 * P <= k) P *= 2;
    const int n = ifw + k - 1;   // padded row length
    std::vector<uint8_t> buf = scratch<uint8_t>(size_t(n) + 64, failmsg, Op::neutral);
    uint8_t *a = buf.data();
    for (int y = 0; y < ifh; ++y) {
        std::memcpy(a + half, s + size_t(y) * ifw_grey, size_t(ifw));
        // after the pass of step w, a[j] is the extremum of a[j .. j + 2w)
        // for j < n - 2w + 1; a vector step reads before it writes, so the
        // pass runs in place.
        for (int w = 1; w < P; w *= 2)
            for (int j = 0; j < n - 2 * w + 1; j += 16) store16(a + j, Op::v(load16(a + j), load16(a + j + w)));
        uint8_t *out = d + size_t(y) * ifw_grey;
        chunks16(
            ifw, [&](int x) { store16(out + x, Op::v(load16(a + x), load16(a + x + k - P))); },
            [&](int x) { out[x] = Op::s(a[x], a[x + k - P]); });
        // the row's neutral margins were overwritten by the passes
        std::memset(a, Op::neutral, size_t(half));
        std::memset(a + half + ifw, Op::neutral, size_t(n - half - ifw) + 64);
    }
}

template <class Op>
void greyline(int src, int dst, float angle, int size, const char *failmsg) {
    LineGeom g = linegeom(angle, size, failmsg);
    const uint8_t *s = pixels(src) + ifw_grey + 1;   // frame pixel (0, 0)
    uint8_t *d = pixels(dst) + ifw_grey + 1;
    const ptrdiff_t mainstep = g.vertical ? ifw_grey : 1, crossstep = g.vertical ? 1 : ifw_grey;
    const int n = g.n, m = g.m, half = g.half;
    if (g.off[n - 1] == 0) {   // axis-parallel: whole rows or columns
        if (g.vertical) verticalruns<Op>(s, d, half, failmsg);
        else if (half < 32) shortruns<Op>(s, d, half, failmsg);
        else horizontalruns<Op>(s, d, half, failmsg);
        return;
    }
    // Sixteen neighbouring lines at a time, one per byte of a vector: the
    // pixels a bundle reads lie in a band of rows (or columns) that stays in
    // the cache from one position to the next, where one line after another
    // would fetch a new cache line for nearly every pixel. A line's positions
    // outside the frame are neutral, as the padding of a single line is.
    constexpr int W = 16;
    const size_t L = size_t(n) + 2 * size_t(half);
    std::vector<uint8_t> work = scratch<uint8_t>(size_t(W) * (4 * L) + 16, failmsg);
    uint8_t *pad = work.data(), *fw = pad + W * L, *bw = fw + W * L, *out = bw + W * L;
    std::vector<ptrdiff_t> step = scratch<ptrdiff_t>(size_t(n), failmsg);
    for (int i = 0; i < n; ++i) step[i] = mainstep * i + crossstep * g.off[i];
    const int lastoff = g.off[n - 1];
    const int smin = g.sign > 0 ? -lastoff : 0, smax = g.sign > 0 ? m - 1 : m - 1 - lastoff;
    auto firstat = [&](long v) { return v < 0 ? 0 : v > n ? n : g.first[v]; };
    // positions lo..hi of line sh that lie inside the frame (lo > hi: none)
    auto inside = [&](int sh, int &lo, int &hi) {
        if (g.sign > 0) {
            lo = firstat(std::max(0, -sh));
            hi = firstat(long(m) - sh) - 1;
        } else {
            lo = firstat(std::max(0, sh - (m - 1)));
            hi = firstat(long(sh) + 1) - 1;
        }
    };
    std::memset(pad, Op::neutral, size_t(W) * half);
    for (int sh0 = smin; sh0 <= smax; sh0 += W) {
        const int lines = std::min(W, smax - sh0 + 1);
        int lo = n, hi = -1;
        for (int b = 0; b < lines; ++b) {
            int l, h;
            inside(sh0 + b, l, h);
            if (l <= h) lo = std::min(lo, l), hi = std::max(hi, h);
        }
        if (lo > hi) continue;
        const int len = hi - lo + 1;
        const ptrdiff_t base = crossstep * sh0;
        for (int i = 0; i < len; ++i) {
            // lanes b with 0 <= sh0 + b + off <= m - 1 lie in the frame
            const int off = g.off[lo + i], b0 = std::max(0, -sh0 - off), b1 = std::min(lines - 1, m - 1 - sh0 - off);
            uint8_t *v = pad + size_t(W) * (half + i);
            const uint8_t *p = s + base + step[lo + i];
            if (b0 > 0 || b1 < W - 1) std::memset(v, Op::neutral, W);
            for (int b = b0; b <= b1; ++b) v[b] = p[crossstep * b];
        }
        std::memset(pad + size_t(W) * (half + len), Op::neutral, size_t(W) * half);
        vanherkrows<Op>(pad, len, half, W, fw, bw, out);
        for (int i = 0; i < len; ++i) {
            const int off = g.off[lo + i], b0 = std::max(0, -sh0 - off), b1 = std::min(lines - 1, m - 1 - sh0 - off);
            const uint8_t *v = out + size_t(W) * i;
            uint8_t *q = d + base + step[lo + i];
            for (int b = b0; b <= b1; ++b) q[crossstep * b] = v[b];
        }
    }
}

}  // namespace

void greylindilation(int src, int dst, float angle, int size) {
    greyline<OpMax>(src, dst, angle, size, "greylindilation, malloc");
}
void greylinerosion(int src, int dst, float angle, int size) {
    greyline<OpMin>(src, dst, angle, size, "greylinerosion, malloc");
}

// ====================================================== tables and dithering

void anamorph(int grey, const unsigned char *lut) {
    uint8_t *p = pixels(grey);
    for (int r = 0; r < ifh; ++r) {
        uint8_t *row = greyrow(p, r);
        for (int x = 0; x < ifw; ++x) row[x] = lut[row[x]];
    }
}

void bitmap(int grey, int bin, int n) {
    if (n < 2 || n > 16 || (n & (n - 1))) ima_error("bitmap gin 1-4");
    std::vector<int> mat = scratch<int>(size_t(n) * n, "greybm, malloc");
    // Doubling from h to 2h: x4, then +2 top right, +3 bottom left, +1
    // bottom right.
    mat[0] = 0;
    for (int h = 1; h < n; h *= 2) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < h; ++x) {
                int e = 4 * mat[y * n + x];
                mat[y * n + x] = e;
                mat[y * n + x + h] = e + 2;
                mat[(y + h) * n + x] = e + 3;
                mat[(y + h) * n + x + h] = e + 1;
            }
    }
    for (int &e : mat) e = int((e + 1) * 255.0 / (n * n + 1));
    uint8_t *g = pixels(grey), *b = pixels(bin);
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *gr = greyrow(g, r);
        const int *mr = mat.data() + (r % n) * n;
        uint8_t *br = binrow(b, r);
        std::memset(br, 0, ifw_bin);
        for (int x = 0; x < ifw; ++x)
            if (gr[x] > mr[x % n]) br[x / 8] |= uint8_t(1u << (x % 8));
    }
}

// ================================================================ distance

// The least of the three pixels above (below) each pixel is taken for a
// whole row first; the scan along the row then only carries the west
// (east) neighbour.
void distance(int grey, int outside) {
    uint8_t *p = pixels(grey);
    greyring(p, uint8_t(outside));
    const ptrdiff_t st = ifw_grey;
    std::vector<uint8_t> third = scratch<uint8_t>(size_t(ifw) + 16, "distance, allocation problem");
    uint8_t *u = third.data();
    auto least3 = [&](const uint8_t *q) {
        chunks16(
            ifw, [&](int x) { store16(u + x, _mm_min_epu8(_mm_min_epu8(load16(q + x - 1), load16(q + x)), load16(q + x + 1))); },
            [&](int x) { u[x] = std::min(std::min(q[x - 1], q[x]), q[x + 1]); });
    };
    for (int r = 0; r < ifh; ++r) {
        uint8_t *row = greyrow(p, r);
        least3(row - st);
        unsigned west = row[-1];
        for (int x = 0; x < ifw; ++x) {
            unsigned m = std::min<unsigned>(u[x], west);
            unsigned v = m >= 254 ? 255 : m + 1;
            west = row[x] ? v : 0;
            row[x] = uint8_t(west);
        }
    }
    for (int r = ifh - 1; r >= 0; --r) {
        uint8_t *row = greyrow(p, r);
        least3(row + st);
        unsigned east = row[ifw];
        for (int x = ifw - 1; x >= 0; --x) {
            unsigned v = std::min<unsigned>(row[x], std::min<unsigned>(u[x], east) + 1);
            east = v;   // 0 stays 0
            row[x] = uint8_t(v);
        }
    }
}

// ========================================================== template search

int getsample(int orig, int sa, int dstart, int dend, int *x, int *y, int *diff) {
    const s_image &smp = imarray[sa];
    const int w = smp.w, h = smp.h, W = ifw, H = ifh;
    const ptrdiff_t sst = w + 2;
    const uint8_t *o = pixels(orig) + ifw_grey + 1, *sp = smp.data + sst + 1;
    const float d = h > 1 ? float((int64_t(dend) * w * h - int64_t(dstart) * w) / (h - 1)) : 0.0f;
    *diff = -1;
    for (int cy = *y; cy <= H - h; ++cy) {
        for (int cx = cy == *y ? *x : 0; cx <= W - w; ++cx) {
            float limit = float(int64_t(dstart) * w);
            int64_t sum = 0;
            bool rejected = false;
            for (int r = 0; r < h && !rejected; ++r) {
                const uint8_t *orow = o + size_t(cy + r) * ifw_grey + cx, *srow = sp + size_t(r) * sst;
                int rs = 0;
                for (int c = 0; c < w; ++c) rs += std::abs(int(orow[c]) - int(srow[c]));
                sum += rs;
                if (float(sum) > limit) rejected = true;
                else limit += d;
            }
            if (!rejected && limit >= float(sum)) {
                *x = cx;
                *y = cy;
                *diff = int(std::min<int64_t>(sum, INT32_MAX));
                return 1;
            }
        }
    }
    return 0;
}

// ================================================================== median

s_slist *median_insert(s_slist *rec, s_slist *head) {
    if (!head || head->value >= rec->value) {
        rec->next = head;
        return rec;
    }
    s_slist *p = head;
    while (p->next && p->next->value < rec->value) p = p->next;
    rec->next = p->next;
    p->next = rec;
    return head;
}

s_slist *median_remove(unsigned char value, s_slist **removed, s_slist *head) {
    *removed = nullptr;
    s_slist **link = &head;
    while (*link && (*link)->value != value) link = &(*link)->next;
    if (*link) {
        *removed = *link;
        *link = (*link)->next;
        (*removed)->next = nullptr;
    }
    return head;
}

namespace {

// 3 x 3 median by a sorting network on 16 pixels at a time.
inline void sort2(__m128i &a, __m128i &b) {
    __m128i t = _mm_min_epu8(a, b);
    b = _mm_max_epu8(a, b);
    a = t;
}
inline void sort2s(uint8_t &a, uint8_t &b) {
    uint8_t t = std::min(a, b);
    b = std::max(a, b);
    a = t;
}
template <class V, class S>
void med9(V *p, S sort) {
    sort(p[1], p[2]); sort(p[4], p[5]); sort(p[7], p[8]);
    sort(p[0], p[1]); sort(p[3], p[4]); sort(p[6], p[7]);
    sort(p[1], p[2]); sort(p[4], p[5]); sort(p[7], p[8]);
    sort(p[0], p[3]); sort(p[5], p[8]); sort(p[4], p[7]);
    sort(p[3], p[6]); sort(p[1], p[4]); sort(p[2], p[5]);
    sort(p[4], p[7]); sort(p[4], p[2]); sort(p[6], p[4]);
    sort(p[4], p[2]);
}

void median3(const uint8_t *s, uint8_t *d) {
    const ptrdiff_t st = ifw_grey;
    for (int r = 1; r < ifh - 1; ++r) {
        const uint8_t *sr = s + size_t(r + 1) * st + 1;
        uint8_t *dr = d + size_t(r + 1) * st + 1;
        auto vec = [&](int x) {
            __m128i p[9];
            for (int k = 0; k < 3; ++k)
                for (int j = 0; j < 3; ++j) p[3 * k + j] = load16(sr + x + (k - 1) * st + j - 1);
            med9(p, sort2);
            store16(dr + x, p[4]);
        };
        auto one = [&](int x) {
            uint8_t p[9];
            for (int k = 0; k < 3; ++k)
                for (int j = 0; j < 3; ++j) p[3 * k + j] = sr[x + (k - 1) * st + j - 1];
            med9(p, sort2s);
            dr[x] = p[4];
        };
        // Pixels 1 .. ifw - 2; the edge columns are cleared afterwards.
        const int n = ifw - 2;
        if (n < 16) {
            for (int x = 1; x <= n; ++x) one(x);
        } else {
            int x = 1;
            for (; x + 16 <= n + 1; x += 16) vec(x);
            if (x <= n) vec(n + 1 - 16);
        }
    }
}

// Running histograms (Perreault-Hebert): a 256-bin histogram per column over
// the window's rows, moved down one row per output row, and its 16-bin
// coarse summary (high nibbles). The window keeps the coarse sum of its
// columns exactly, updated per pixel by one entering and one leaving
// column; the 16 fine bins under a coarse bin are only brought up to date
// when the median falls into that bin, by the columns that entered and left
// since its last use (or rebuilt when that is more work).
void medianhist(const uint8_t *s, uint8_t *d, int size) {
    const int w = ifw, k = 2 * size + 1, rank = (k * k) / 2;
    const ptrdiff_t st = ifw_grey;
    std::vector<uint16_t> colh = scratch<uint16_t>(size_t(w) * 256, "median, malloc");
    std::vector<uint16_t> colc = scratch<uint16_t>(size_t(w) * 16, "median, malloc");
    alignas(16) uint16_t kc[16], kf[256];
    int last[16];   // x at which the fine bins of each coarse bin were valid
    auto row = [&](int r) { return s + size_t(r + 1) * st + 1; };
    auto fine = [&](int x, int c) { return &colh[size_t(x) * 256 + 16 * c]; };
    auto coarse = [&](int x) { return &colc[size_t(x) * 16]; };
    auto add16 = [](uint16_t *acc, const uint16_t *h) {
        __m128i *a = reinterpret_cast<__m128i *>(acc);
        a[0] = _mm_add_epi16(a[0], _mm_loadu_si128(reinterpret_cast<const __m128i *>(h)));
        a[1] = _mm_add_epi16(a[1], _mm_loadu_si128(reinterpret_cast<const __m128i *>(h) + 1));
    };
    auto sub16 = [](uint16_t *acc, const uint16_t *h) {
        __m128i *a = reinterpret_cast<__m128i *>(acc);
        a[0] = _mm_sub_epi16(a[0], _mm_loadu_si128(reinterpret_cast<const __m128i *>(h)));
        a[1] = _mm_sub_epi16(a[1], _mm_loadu_si128(reinterpret_cast<const __m128i *>(h) + 1));
    };
    for (int r = 0; r < k; ++r) {
        const uint8_t *sr = row(r);
        for (int x = 0; x < w; ++x) {
            ++colh[size_t(x) * 256 + sr[x]];
            ++colc[size_t(x) * 16 + (sr[x] >> 4)];
        }
    }
    for (int y = size; y < ifh - size; ++y) {
        if (y > size) {   // slide the column histograms down one row
            const uint8_t *out = row(y - size - 1), *in = row(y + size);
            for (int x = 0; x < w; ++x) {
                --colh[size_t(x) * 256 + out[x]];
                --colc[size_t(x) * 16 + (out[x] >> 4)];
                ++colh[size_t(x) * 256 + in[x]];
                ++colc[size_t(x) * 16 + (in[x] >> 4)];
            }
        }
        std::memset(kc, 0, sizeof kc);
        for (int x = 0; x < k; ++x) add16(kc, coarse(x));
        for (int c = 0; c < 16; ++c) last[c] = INT_MIN / 2;
        uint8_t *dr = d + size_t(y + 1) * st + 1;
        for (int x = size; x < w - size; ++x) {
            if (x > size) {
                add16(kc, coarse(x + size));
                sub16(kc, coarse(x - size - 1));
            }
            int cnt = 0, c = 0;
            while (cnt + kc[c] <= rank) cnt += kc[c++];
            uint16_t *kfc = kf + 16 * c;
            if (x - last[c] > k) {   // rebuild from the window's columns
                std::memset(kfc, 0, 32);
                for (int j = x - size; j <= x + size; ++j) add16(kfc, fine(j, c));
            } else {
                for (int j = last[c] + 1; j <= x; ++j) {
                    add16(kfc, fine(j + size, c));
                    sub16(kfc, fine(j - size - 1, c));
                }
            }
            last[c] = x;
            int v = 0;
            while (cnt + kfc[v] <= rank) cnt += kfc[v++];
            dr[x] = uint8_t(16 * c + v);
        }
    }
}

}  // namespace

void median(int src, int dst, int size) {
    if (size < 1 || 2 * size + 1 > ifw || 2 * size + 1 > ifh) ima_error("median, wrong size");
    if (size > 127) ima_error("median, too great size");   // window counts must fit 16 bits
    const uint8_t *s = pixels(src);
    uint8_t *d = pixels(dst);
    std::vector<uint8_t> copy;
    if (src == dst) {
        copy = scratch<uint8_t>(greyblock(), "median, malloc");
        std::memcpy(copy.data(), s, greyblock());
        s = copy.data();
    }
    if (size == 1) median3(s, d);
    else medianhist(s, d, size);
    // Zero the outer size rings of the frame and the border ring.
    greyring(d, 0);
    for (int r = 0; r < ifh; ++r) {
        uint8_t *dr = greyrow(d, r);
        if (r < size || r >= ifh - size) {
            std::memset(dr, 0, ifw);
        } else {
            std::memset(dr, 0, size);
            std::memset(dr + ifw - size, 0, size);
        }
    }
}
