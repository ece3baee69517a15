// Convolution, recursive filtering and Fourier transforms of grey images.
#include "image/signal.h"
#include "image/intern.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr float PI_F = 3.14159265358979f;

// Frame pixel (row r, column c) of a grey image's block.
inline uint8_t *greyrow(int h, int r) { return imarray[h].data + (r + 1) * ifw_grey + 1; }
inline float *floatdata(int h) { return reinterpret_cast<float *>(imarray[h].data); }

inline uint8_t clampbyte(int64_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// Truncation toward zero that stays defined for huge and non-finite
// values (an unstable filter or a division by a tiny spectrum): NaN gives
// 0, anything beyond +-2^40 is pinned there, which every caller clamps.
inline int64_t truncsat(double x) {
    if (!(x == x)) return 0;
    if (x > 1099511627776.0) return int64_t(1) << 40;
    if (x < -1099511627776.0) return -(int64_t(1) << 40);
    return int64_t(x);
}

// The output modes of the integer convolutions; w is the sum of the weights
// that were used (mode 1 only).
inline uint8_t convoutput(int64_t s, int64_t w, int mode, int fact) {
    switch (mode) {
    case 0: return clampbyte(s / fact);
    case 1: return clampbyte(w != 0 ? s / w : s);
    case 2: return clampbyte(s / fact + 128);
    default: {
        int64_t v = s / fact;
        return uint8_t(std::min<int64_t>(v < 0 ? -v : v, 255));
    }
    }
}

void checkconv(const char *fact_message, const char *mode_message, int mode, int fact) {
    if (mode < 0 || mode > 3) ima_error(mode_message);
    if (fact == 0 && mode != 1) ima_error(fact_message);
}

template <typename T>
std::unique_ptr<T[]> scratch(size_t n) {
    std::unique_ptr<T[]> p(new (std::nothrow) T[n]);
    if (!p) ima_error("malloc");
    return p;
}

}  // namespace

// ------------------------------------------------------------- convolution
// The integer convolutions share one routine: convh is conv with one mask
// row. Where the processor has AVX2 and every partial sum fits 32 bits, the
// sums are computed 16 pixels at a time (convsimd); otherwise, and for the
// pixels where the weights used in mode 1 depend on the frame's edge, pixel
// by pixel (convpixel). Both give exactly the same 64-bit sums.

bool signal_avx2 = __builtin_cpu_supports("avx2");

namespace {

// Output pixel (x, y): the mask truncated at the frame's edges.
uint8_t convpixel(int in, const int32_t *mask, int w, int h, int x, int y, int mode, int fact) {
    const int r0 = h / 2, c0 = w / 2;
    const int ilo = std::max(0, y + r0 - (ifh - 1)), ihi = std::min(h - 1, y + r0);
    const int jlo = std::max(0, x + c0 - (ifw - 1)), jhi = std::min(w - 1, x + c0);
    int64_t s = 0, sw = 0;
    for (int i = ilo; i <= ihi; ++i) {
        const uint8_t *src = greyrow(in, y + r0 - i) + x + c0;
        const int32_t *m = mask + size_t(i) * w;
        for (int j = jlo; j <= jhi; ++j) {
            s += int64_t(m[j]) * src[-j];
            sw += m[j];
        }
    }
    return convoutput(s, sw, mode, fact);
}

// Whether 16-bit weights and 32-bit sums hold every partial sum exactly.
bool convfits32(const int32_t *mask, size_t n) {
    int64_t total = 0;
    for (size_t k = 0; k < n; ++k) {
        if (mask[k] < INT16_MIN || mask[k] > INT16_MAX) return false;
        total += std::llabs(mask[k]);
    }
    return total * 255 <= INT32_MAX;
}

// Truncating integer division by a fixed divisor: none, an arithmetic shift
// for positive powers of two, else in double precision (exact for 32-bit
// operands: a quotient that is not an integer lies at least 1/|d| from
// one, and the rounding error is below 2^-22/|d|).
struct divisor {
    enum { NONE, SHIFT, DOUBLE } kind;
    int shift;
    double d;
};

divisor makedivisor(int64_t d) {
    if (d == 1) return {divisor::NONE, 0, 1.0};
    if (d > 0 && (d & (d - 1)) == 0) return {divisor::SHIFT, std::countr_zero(uint64_t(d)), 0.0};
    return {divisor::DOUBLE, 0, double(d)};
}

// One weight pair of the vector kernel: source offset o of the first of two
// neighbouring columns in mask row i, the weights of columns o and o + 1 in
// the low and high halves.
struct convtap {
    int row, offset;
    int32_t pair;
};

__attribute__((target("avx2"))) inline __m256i divide8(__m256i s, const divisor &dv) {
    switch (dv.kind) {
    case divisor::NONE: return s;
    case divisor::SHIFT: {
        const __m256i bias = _mm256_and_si256(_mm256_srai_epi32(s, 31), _mm256_set1_epi32((1 << dv.shift) - 1));
        return _mm256_srai_epi32(_mm256_add_epi32(s, bias), dv.shift);
    }
    default: {
        const __m256d d = _mm256_set1_pd(dv.d);
        const __m128i lo = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(s)), d));
        const __m128i hi = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(s, 1)), d));
        return _mm256_set_m128i(hi, lo);
    }
    }
}

// Output columns x .. x+15 of one row: rows[i] is the widened source row
// that mask row i meets (column 0 at index 0, zeros beyond the frame).
// The even and odd columns are summed apart, so that every load gives
// eight (column, column + 1) pairs for _mm256_madd_epi16.
__attribute__((target("avx2"))) void convchunk(const int16_t *const *rows, const convtap *taps, size_t ntaps, int x,
                                               const divisor &dv, int mode, uint8_t *dst) {
    __m256i even = _mm256_setzero_si256(), odd = _mm256_setzero_si256();
    for (size_t t = 0; t < ntaps; ++t) {
        const int16_t *src = rows[taps[t].row] + x + taps[t].offset;
        const __m256i pair = _mm256_set1_epi32(taps[t].pair);
        even = _mm256_add_epi32(even, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(src)), pair));
        odd = _mm256_add_epi32(odd, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 1)), pair));
    }
    even = divide8(even, dv);
    odd = divide8(odd, dv);
    if (mode == 3) {
        even = _mm256_abs_epi32(even);
        odd = _mm256_abs_epi32(odd);
    }
    // columns 0..15 in order as saturated 16-bit values, then bytes
    __m256i v = _mm256_packs_epi32(_mm256_unpacklo_epi32(even, odd), _mm256_unpackhi_epi32(even, odd));
    if (mode == 2) v = _mm256_adds_epi16(v, _mm256_set1_epi16(128));
    v = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm256_castsi256_si128(v));
}

// The vector path; false when its scratch memory cannot be had.
bool convsimd(int in, int out, const int32_t *mask, int w, int h, int mode, int fact) {
    const int r0 = h / 2, c0 = w / 2;
    // source column x + o meets mask column c0 - o; o runs c0-w+1 .. c0
    std::vector<convtap> taps;
    int64_t wsum = 0;
    for (int i = 0; i < h; ++i)
        for (int o = c0 - w + 1; o <= c0; o += 2) {
            const int32_t a = mask[size_t(i) * w + (c0 - o)], b = o + 1 <= c0 ? mask[size_t(i) * w + (c0 - o - 1)] : 0;
            wsum += int64_t(a) + b;
            if (a || b) taps.push_back({i, o, int32_t(uint32_t(uint16_t(a)) | uint32_t(b) << 16)});
        }
    const divisor dv = makedivisor(mode == 1 ? (wsum ? wsum : 1) : fact);
    // widened rows with zero margins wider than any load reaches
    const size_t pad = size_t(w) + 40, len = size_t(ifw) + 2 * pad;
    std::unique_ptr<int16_t[]> ring(new (std::nothrow) int16_t[len * size_t(h + 1)]());
    std::unique_ptr<const int16_t *[]> rows(new (std::nothrow) const int16_t *[size_t(h)]);
    if (!ring || !rows) return false;
    const int16_t *zero = ring.get() + len * size_t(h) + pad;
    auto widen = [&](int r) {
        int16_t *dst = ring.get() + len * size_t(r % h) + pad;
        const uint8_t *src = greyrow(in, r);
        for (int c = 0; c < ifw; ++c) dst[c] = src[c];
    };
    for (int r = 0; r < std::min(r0, ifh); ++r) widen(r);
    const int ytop = h - 1 - r0, ybottom = ifh - 1 - r0, xleft = w - 1 - c0, xright = ifw - 1 - c0;
    for (int y = 0; y < ifh; ++y) {
        if (y + r0 < ifh) widen(y + r0);
        for (int i = 0; i < h; ++i) {
            const int s = y + r0 - i;
            rows[i] = s >= 0 && s < ifh ? ring.get() + len * size_t(s % h) + pad : zero;
        }
        uint8_t *dst = greyrow(out, y);
        for (int x = 0; x < ifw; x += 16) {
            if (x + 16 <= ifw) convchunk(rows.get(), taps.data(), taps.size(), x, dv, mode, dst + x);
            else if (ifw >= 16) convchunk(rows.get(), taps.data(), taps.size(), ifw - 16, dv, mode, dst + ifw - 16);
            else {
                uint8_t part[16];
                convchunk(rows.get(), taps.data(), taps.size(), x, dv, mode, part);
                std::memcpy(dst + x, part, size_t(ifw - x));
            }
        }
        // mode 1 divides by the weights used, fewer where the mask leaves the frame
        if (mode == 1)
            for (int x = 0; x < ifw; ++x)
                if (y < ytop || y > ybottom || x < xleft || x > xright) dst[x] = convpixel(in, mask, w, h, x, y, mode, fact);
    }
    return true;
}

void convolve(int in, int out, const int32_t *mask, int w, int h, int mode, int fact) {
    if (signal_avx2 && convfits32(mask, size_t(w) * size_t(h)) && convsimd(in, out, mask, w, h, mode, fact)) return;
    for (int y = 0; y < ifh; ++y) {
        uint8_t *dst = greyrow(out, y);
        for (int x = 0; x < ifw; ++x) dst[x] = convpixel(in, mask, w, h, x, y, mode, fact);
    }
}

}  // namespace

void convh(int in, int out, const int32_t *mask, int n, int mode, int fact) {
    checkconv("convh, fact must not be 0", "convh: 0<=mode<=3", mode, fact);
    convolve(in, out, mask, n, 1, mode, fact);
}

void conv(int in, int out, const int32_t *mask, int w, int h, int mode, int fact) {
    checkconv("conv, fact must not be 0", "conv: 0<=mode<=3", mode, fact);
    convolve(in, out, mask, w, h, mode, fact);
}

// -------------------------------------------------------- recursive filter
void rech(int in, int out, const float *a, int na, const float *b, int nb, int mode) {
    const int m = std::max(nb, na - 1);
    float d = 1.0f;
    for (int k = 0; k < nb; ++k) d -= b[k];
    if (d == 0.0f) ima_error("not stable filter (pole for freq=0)");
    float asum = 0.0f;
    for (int k = 0; k < na; ++k) asum += a[k];
    const float g = asum / d;

    const size_t len = size_t(ifw) + 2 * size_t(m);
    std::unique_ptr<float[]> xbuf(new (std::nothrow) float[len]);
    std::unique_ptr<float[]> ybuf(new (std::nothrow) float[len]);
    if (!xbuf || !ybuf) ima_error("malloc");
    float *X = xbuf.get(), *Y = ybuf.get();
    const int end = ifw + m;   // one past the last sample of the row

    for (int r = 0; r < ifh; ++r) {
        const uint8_t *src = greyrow(in, r);
        for (int i = 0; i < ifw; ++i) X[m + i] = src[i];
        for (int i = 0; i < m; ++i) {
            X[i] = src[0];
            Y[i] = g * src[0];
        }
        for (int i = m; i < end; ++i) {
            float v = 0.0f;
            for (int k = 0; k < na; ++k) v += a[k] * X[i - k];
            for (int k = 0; k < nb; ++k) v += b[k] * Y[i - 1 - k];
            Y[i] = v;
        }
        const float last = Y[end - 1];
        for (int i = end; i < end + m; ++i) {
            Y[i] = last;
            X[i] = g * last;
        }
        for (int i = end - 1; i >= m; --i) {
            float v = 0.0f;
            for (int k = 0; k < na; ++k) v += a[k] * Y[i + k];
            for (int k = 0; k < nb; ++k) v += b[k] * X[i + 1 + k];
            X[i] = v;
        }
        uint8_t *dst = greyrow(out, r);
        for (int i = 0; i < ifw; ++i) {
            const int64_t t = truncsat(X[m + i]);
            dst[i] = mode == 1 ? clampbyte(t) : mode == 2 ? clampbyte(t + 128) : uint8_t(std::min<int64_t>(std::llabs(t), 255));
        }
    }
}

// ------------------------------------------------------ Fourier transforms
void phasetable(s_phasetab *t) {
    float angle = 0.0f;
    for (int i = 0; i < 256; ++i) {
        t->cos[i] = float(std::cos(double(angle)));
        t->sin[i] = float(std::sin(double(angle)));
        angle += 0.024543693f;
    }
}

namespace {

// Phase of (re, im) in 0..2pi, as the direct transform takes it.
uint8_t ftphase(double re, double im) {
    if (re == 0.0) return im > 0.0 ? 64 : 192;
    double phi = std::atan(im / re);
    if (re < 0.0) phi += M_PI;
    if (phi < 0.0) phi += 2.0 * M_PI;
    return uint8_t(truncsat(phi * 128.0 / M_PI) & 255);
}

// mag[i] = (i q)^s with q = 255^(1/s - 1), i q accumulated: 255 (i/255)^s.
void magtable(float s, float mag[256]) {
    const float q = std::pow(255.0f, 1.0f / s - 1.0f);
    float iq = 0.0f;
    for (int i = 0; i < 256; ++i) {
        mag[i] = std::pow(iq, s);
        iq += q;
    }
}

int log2of(int n) { return int(std::lround(std::log(double(n)) / std::log(2.0))); }

int bitreverse(int j, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b, j >>= 1) r = (r << 1) | (j & 1);
    return r;
}

// Twiddles w_j = cos(theta_j) + i sigma sin(theta_j), theta_j = j pi / h
// accumulated in float, for j = 0..h-1.
void twiddles(int h, int dir, float *wr, float *wi) {
    const float step = PI_F / float(h);
    float theta = 0.0f;
    for (int j = 0; j < h; ++j) {
        wr[j] = std::cos(theta);
        wi[j] = dir == 1 ? std::sin(theta) : -std::sin(theta);
        theta += step;
    }
}

}  // namespace

void ft(int gin, int ain, int gout, int aout, int dir, float fact) {
    s_phasetab t;
    phasetable(&t);
    const int W = ifw, H = ifh;
    for (int u = 0; u < H; ++u) {
        const float incu = float(u) * 256.0f / float(H);
        uint8_t *go = greyrow(gout, u), *ao = greyrow(aout, u);
        for (int v = 0; v < W; ++v) {
            const float incv = float(v) * 256.0f / float(W);
            double re = 0.0, im = 0.0;
            for (int y = 0; y < H; ++y) {
                const uint8_t *g = greyrow(gin, y), *a = greyrow(ain, y);
                const float p = 0.5f + float(y) * incu;
                for (int x = 0; x < W; ++x) {
                    const float offset = p + float(x) * incv;
                    const float arg = dir == 1 ? float(a[x]) - offset : float(a[x]) + offset;
                    const int idx = int(arg) & 255;
                    re += t.cos[idx] * g[x];
                    im += t.sin[idx] * g[x];
                }
            }
            const double f = std::sqrt(re * re + im * im);
            const double mag = dir == 1 ? f * fact / W / H : f / fact;
            go[v] = clampbyte(truncsat(mag));
            ao[v] = ftphase(re, im);
            if (ima_poll) ima_poll();   // each pixel is a whole-image sum
        }
    }
}

void fftswap(int re, int im) {
    const int W = ifw, H = ifh;
    float *pr = floatdata(re), *pi = floatdata(im);
    const int wbits = log2of(W), hbits = log2of(H);
    for (int j = 0; j < W; ++j) {
        const int k = bitreverse(j, wbits);
        if (k <= j) continue;
        for (int r = 0; r < H; ++r) {
            std::swap(pr[size_t(r) * W + j], pr[size_t(r) * W + k]);
            std::swap(pi[size_t(r) * W + j], pi[size_t(r) * W + k]);
        }
    }
    for (int j = 0; j < H; ++j) {
        const int k = bitreverse(j, hbits);
        if (k <= j) continue;
        for (int c = 0; c < W; ++c) {
            std::swap(pr[size_t(j) * W + c], pr[size_t(k) * W + c]);
            std::swap(pi[size_t(j) * W + c], pi[size_t(k) * W + c]);
        }
    }
}

// The transform works on copies of blocks that fit the cache: a few rows at
// a time, transposed so that each butterfly runs on all of them at once,
// then 64 columns at a time. The bit-reversal permutation happens while
// copying in. Every element meets exactly the butterflies, twiddles and
// operation order of the textbook row-then-column radix-2 transform, so the
// result does not depend on the blocking or on the instruction set. The
// vector types hold 8 lanes with AVX2, 4 in the plain routines.
namespace {

typedef float lanes4 __attribute__((vector_size(16)));
typedef float lanes8 __attribute__((vector_size(32)));
typedef int32_t ints4 __attribute__((vector_size(16)));
typedef int32_t ints8 __attribute__((vector_size(32)));
// The integer vector of a float vector's width.
template <typename V>
struct intlanes;
template <>
struct intlanes<lanes4> {
    typedef ints4 type;
};
template <>
struct intlanes<lanes8> {
    typedef ints8 type;
};

// The twiddles of every stage of an n-point transform (the stage with
// half-length h at [h - 1 .. 2h - 2]) and the bit-reversal permutation.
struct fftstages {
    std::unique_ptr<float[]> wr, wi;
    std::unique_ptr<int[]> rev;
};

fftstages makestages(int n, int dir) {
    fftstages s{scratch<float>(size_t(n)), scratch<float>(size_t(n)), scratch<int>(size_t(n))};
    for (int h = 1; h < n; h *= 2) twiddles(h, dir, s.wr.get() + h - 1, s.wi.get() + h - 1);
    const int bits = log2of(n);
    for (int j = 0; j < n; ++j) s.rev[j] = bitreverse(j, bits);
    return s;
}

// All stages of n-point transforms, one per lane, on x[0..n-1].
template <typename V>
[[gnu::always_inline]] inline void butterflies(V *xr, V *xi, int n, const float *wr, const float *wi) {
    for (int h = 1; h < n; h *= 2) {
        const float *cr = wr + h - 1, *ci = wi + h - 1;
        for (int k = 0; k < n; k += 2 * h)
            for (int j = 0; j < h; ++j) {
                const V wre = V{} + cr[j], wim = V{} + ci[j];
                V *ar = xr + k + j, *ai = xi + k + j, *br = ar + h, *bi = ai + h;
                const V tr = wre * *br - wim * *bi;
                const V ti = wre * *bi + wim * *br;
                *br = *ar - tr;
                *bi = *ai - ti;
                *ar = *ar + tr;
                *ai = *ai + ti;
            }
    }
}

// The row transforms, one block of rows per lane set: the columns in
// bit-reversed order into the lanes of buf (re then im, W vectors each),
// the butterflies, back.
template <typename V>
[[gnu::always_inline]] inline void fftrows(float *pr, float *pi, int W, int H, const fftstages &s, V *buf) {
    constexpr int L = sizeof(V) / sizeof(float);
    V *xr = buf, *xi = buf + W;
    for (int r = 0; r < H; r += L) {
        const int nrows = std::min(L, H - r);
        for (int j = 0; j < W; ++j) {
            V vr = {}, vi = {};
            for (int b = 0; b < nrows; ++b) {
                vr[b] = pr[size_t(r + b) * W + s.rev[j]];
                vi[b] = pi[size_t(r + b) * W + s.rev[j]];
            }
            xr[j] = vr;
            xi[j] = vi;
        }
        butterflies(xr, xi, W, s.wr.get(), s.wi.get());
        for (int b = 0; b < nrows; ++b) {
            float *dr = pr + size_t(r + b) * W, *di = pi + size_t(r + b) * W;
            for (int j = 0; j < W; ++j) {
                dr[j] = xr[j][b];
                di[j] = xi[j][b];
            }
        }
    }
}

// The column transforms, 64 columns at a time in bands of one vector's
// width: the rows in bit-reversed order into buf (per band re then im, H
// vectors each), the butterflies, back. Runs of 256 bytes per row let the
// processor fetch ahead; one band per row would wait on memory every row.
template <typename V>
[[gnu::always_inline]] inline void fftcolumns(float *pr, float *pi, int W, int H, const fftstages &s, V *buf) {
    constexpr int L = sizeof(V) / sizeof(float);
    for (int c = 0; c < W; c += 64) {
        const int ncols = std::min(64, W - c), nbands = (ncols + L - 1) / L;
        for (int r = 0; r < H; ++r) {
            const float *sr = pr + size_t(s.rev[r]) * W + c, *si = pi + size_t(s.rev[r]) * W + c;
            for (int b = 0; b < nbands; ++b) {
                V vr = {}, vi = {};
                if (L * (b + 1) <= ncols) {
                    std::memcpy(&vr, sr + L * b, sizeof(V));
                    std::memcpy(&vi, si + L * b, sizeof(V));
                } else {
                    std::memcpy(&vr, sr + L * b, sizeof(float) * size_t(ncols - L * b));
                    std::memcpy(&vi, si + L * b, sizeof(float) * size_t(ncols - L * b));
                }
                buf[size_t(2 * b) * H + r] = vr;
                buf[size_t(2 * b + 1) * H + r] = vi;
            }
        }
        for (int b = 0; b < nbands; ++b)
            butterflies(buf + size_t(2 * b) * H, buf + size_t(2 * b + 1) * H, H, s.wr.get(), s.wi.get());
        for (int r = 0; r < H; ++r) {
            float *dr = pr + size_t(r) * W + c, *di = pi + size_t(r) * W + c;
            for (int b = 0; b < nbands; ++b) {
                const size_t n = L * (b + 1) <= ncols ? sizeof(V) : sizeof(float) * size_t(ncols - L * b);
                std::memcpy(dr + L * b, &buf[size_t(2 * b) * H + r], n);
                std::memcpy(di + L * b, &buf[size_t(2 * b + 1) * H + r], n);
            }
        }
    }
}

template <typename V>
std::unique_ptr<V[]> vectors(size_t n) {
    std::unique_ptr<V[]> p(new (std::nothrow) V[n]);
    if (!p) ima_error("malloc");
    return p;
}

template <typename V>
[[gnu::always_inline]] inline void fft2d(float *pr, float *pi, int W, int H, int dir) {
    {
        const fftstages s = makestages(W, dir);
        auto buf = vectors<V>(2 * size_t(W));
        fftrows(pr, pi, W, H, s, buf.get());
    }
    const fftstages s = makestages(H, dir);
    auto buf = vectors<V>(2 * size_t(H) * (64 / (sizeof(V) / sizeof(float))));
    fftcolumns(pr, pi, W, H, s, buf.get());
}

__attribute__((target("avx2"))) void fft_avx2(float *pr, float *pi, int W, int H, int dir) {
    fft2d<lanes8>(pr, pi, W, H, dir);
}
void fft_plain(float *pr, float *pi, int W, int H, int dir) { fft2d<lanes4>(pr, pi, W, H, dir); }

}  // namespace

void fft(int re, int im, int dir) {
    (signal_avx2 ? fft_avx2 : fft_plain)(floatdata(re), floatdata(im), ifw, ifh, dir);
}

void conveuler(int g, int a, int re, int im, float s) {
    s_phasetab t;
    phasetable(&t);
    float mag[256];
    magtable(s, mag);
    float *pr = floatdata(re), *pi = floatdata(im);
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *gr = greyrow(g, r), *ar = greyrow(a, r);
        for (int c = 0; c < ifw; ++c, ++pr, ++pi) {
            *pr = mag[gr[c]] * t.cos[ar[c]];
            *pi = mag[gr[c]] * t.sin[ar[c]];
        }
    }
}

void multdiv(int g, int a, int re, int im, char op, float s) {
    s_phasetab t;
    phasetable(&t);
    float mag[256];
    magtable(s, mag);
    float *pr = floatdata(re), *pi = floatdata(im);
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *gr = greyrow(g, r), *ar = greyrow(a, r);
        for (int c = 0; c < ifw; ++c, ++pr, ++pi) {
            const float br = mag[gr[c]] * t.cos[ar[c]], bi = mag[gr[c]] * t.sin[ar[c]];
            const float xr = *pr, xi = *pi;
            if (op == '*') {
                *pr = xr * br - xi * bi;
                *pi = xr * bi + xi * br;
            } else {
                const float d = br * br + bi * bi;
                if (d == 0.0f) continue;
                *pr = (xr * br + xi * bi) / d;
                *pi = (xi * br - xr * bi) / d;
            }
        }
    }
}

namespace {

// The phase byte of (x, y) exactly as the textbook first pass computes it
// in float: the angle in 0..2pi from atan, in units of 1/256 turn, rounded.
uint8_t exactphase(float x, float y) {
    float phi;
    if (x > 0.0f) phi = std::atan(y / x);
    else if (x < 0.0f) phi = std::atan(y / x) + PI_F;
    else if (y > 0.0f) phi = PI_F / 2.0f;
    else if (y < 0.0f) phi = 3.0f * PI_F / 2.0f;
    else phi = 0.0f;
    return uint8_t(truncsat(std::floor(phi * 128.0f / PI_F + 0.5f)) & 255);
}

// Phase bytes of one vector of pixels from a polynomial arctangent (error
// below 3e-7 rad, 2e-5 units; float rounding adds well below 1e-4 units).
// Where the unrounded phase lies within 1/512 unit of a rounding step, or
// x or y is 0 or not finite, the exact routine decides, so the bytes are
// always exactly those of exactphase.
template <typename V>
[[gnu::always_inline]] inline void phasevector(const float *x, const float *y, uint8_t *out) {
    constexpr int L = sizeof(V) / sizeof(float);
    typedef typename intlanes<V>::type I;
    V vx, vy;
    std::memcpy(&vx, x, sizeof vx);
    std::memcpy(&vy, y, sizeof vy);
    const V ax = vx < 0 ? -vx : vx, ay = vy < 0 ? -vy : vy;
    const V big = ax > ay ? ax : ay, small = ax > ay ? ay : ax;
    const V t = small / (big > 0 ? big : V{} + 1.0f), s = t * t;
    V p = s * -0.005021062699664769f + 0.02533169667563128f;
    p = p * s - 0.060874475880296486f;
    p = p * s + 0.10002204790752632f;
    p = p * s - 0.14047821049372353f;
    p = p * s + 0.19974028541415803f;
    p = p * s - 0.3333223261565223f;
    p = p * s + 0.999999922774781f;
    V base = t * p;                                             // atan(small / big)
    base = ay > ax ? 1.5707963267948966f - base : base;         // atan(|y| / |x|)
    // x > 0: +-base; x < 0: pi -+ base (0..2pi as the first pass has it)
    const V phi = vx > 0 ? (vy > 0 ? base : -base) : (vy > 0 ? 3.14159265358979f - base : 3.14159265358979f + base);
    // lanes with a zero, infinite or NaN coordinate go to the exact routine;
    // the others have -64 < v < 193, so the conversions are defined
    const float inf = std::numeric_limits<float>::infinity();
    const I special = (vx == 0) | (vy == 0) | (ax == inf) | (ay == inf) | (vx != vx) | (vy != vy);
    const V v = special ? V{} : phi * (128.0f / PI_F) + 0.5f;
    I n = __builtin_convertvector(v, I);
    n = __builtin_convertvector(n, V) > v ? n - 1 : n;   // floor
    const V frac = v - __builtin_convertvector(n, V);
    const I unsure = (frac < 1.0f / 512) | (frac > 1.0f - 1.0f / 512) | special;
    for (int k = 0; k < L; ++k) out[k] = unsure[k] ? exactphase(x[k], y[k]) : uint8_t(n[k] & 255);
}

template <typename V>
[[gnu::always_inline]] inline void phaserow(const float *x, const float *y, uint8_t *out, int n) {
    constexpr int L = sizeof(V) / sizeof(float);
    int c = 0;
    for (; c + L <= n; c += L) phasevector<V>(x + c, y + c, out + c);
    for (; c < n; ++c) out[c] = exactphase(x[c], y[c]);
}

__attribute__((target("avx2"))) void phaserow_avx2(const float *x, const float *y, uint8_t *out, int n) {
    phaserow<lanes8>(x, y, out, n);
}
void phaserow_plain(const float *x, const float *y, uint8_t *out, int n) { phaserow<lanes4>(x, y, out, n); }

// The magnitude byte of power p, as the textbook second pass computes it.
struct magnitudeof {
    float pmax, half, norm;
    uint8_t operator()(float p) const {
        return pmax > 0.0f && p >= pmax ? 255 : clampbyte(truncsat(std::pow(p, half) / norm));
    }
};

// For half > 0 the magnitude byte never decreases with the power (pow with
// a positive exponent, division by a positive norm, truncation and clamping
// all keep the order of floats), so it is the number of levels L in
// 1..255 whose threshold (the least float power that reaches L, found by
// bisection over the float bit patterns) the power reaches. A level that
// no power reaches gets NaN, which no comparison passes.
void magthresholds(const magnitudeof &mag, float t[256]) {
    t[0] = 0.0f;
    uint32_t lo = 0;
    for (int level = 1; level < 256; ++level) {
        uint32_t hi = 0x7f800000u;   // +infinity
        auto at = [](uint32_t bits) { return std::bit_cast<float>(bits); };
        if (mag(at(hi)) < level) {
            for (; level < 256; ++level) t[level] = std::numeric_limits<float>::quiet_NaN();
            return;
        }
        while (lo < hi) {   // least bits in lo..hi that reach the level
            const uint32_t mid = lo + (hi - lo) / 2;
            if (mag(at(mid)) >= level) hi = mid;
            else lo = mid + 1;
        }
        t[level] = at(lo);
    }
}

// Levels by the top 16 bits of the power's bit pattern: the level at the
// start of each bucket (0 for negative powers and NaN), so that a power is
// at most a step or two above its bucket's level.
void magbuckets(const float t[256], uint8_t *start) {
    int level = 0;
    for (uint32_t k = 0; k < 0x8000u; ++k) {
        const float first = std::bit_cast<float>(k << 16);
        while (level < 255 && first >= t[level + 1]) ++level;
        start[k] = first == first ? uint8_t(level) : 0;
    }
    std::memset(start + 0x8000, 0, 0x8000);
}

inline uint8_t magnitudelevel(float p, const float t[256], const uint8_t *start) {
    int level = start[std::bit_cast<uint32_t>(p) >> 16];
    while (level < 255 && p >= t[level + 1]) ++level;
    return uint8_t(level);
}

}  // namespace

void convbackeuler(int re, int im, int gout, int aout, float e) {
    float *pr = floatdata(re), *pi = floatdata(im);
    // first pass: the phase bytes, the power into re
    float pmax = 0.0f;
    for (int r = 0; r < ifh; ++r) {
        float *x = pr + size_t(r) * ifw, *y = pi + size_t(r) * ifw;
        (signal_avx2 ? phaserow_avx2 : phaserow_plain)(x, y, greyrow(aout, r), ifw);
        for (int c = 0; c < ifw; ++c) {
            const float p = x[c] * x[c] + y[c] * y[c];
            if (p > pmax) pmax = p;
            x[c] = p;
        }
    }
    const float half = e / 2.0f;
    const magnitudeof mag{pmax, half, pmax == 0.0f ? 1.0f : std::pow(pmax, half) / 255.0f};
    float t[256];
    std::unique_ptr<uint8_t[]> start;
    if (half > 0.0f) {
        magthresholds(mag, t);
        start = scratch<uint8_t>(0x10000);
        magbuckets(t, start.get());
    }
    for (int r = 0; r < ifh; ++r) {
        const float *p = pr + size_t(r) * ifw;
        uint8_t *go = greyrow(gout, r);
        if (half > 0.0f)
            for (int c = 0; c < ifw; ++c) go[c] = magnitudelevel(p[c], t, start.get());
        else
            for (int c = 0; c < ifw; ++c) go[c] = mag(p[c]);
    }
}

// ------------------------------------------------------ frequency helpers
void fcenter(int out) {
    for (int r = 0; r < ifh; ++r) {
        uint8_t *dst = greyrow(out, r);
        for (int c = 0; c < ifw; ++c) dst[c] = ((r + c) & 1) ? 128 : 0;
    }
}

void butter(int out, int d, int n) {
    const float d2 = float(d) * float(d);
    if (d2 == 0.0f) ima_error("butter, division by 0");
    const int W = ifw, H = ifh, cx = W / 2, cy = H / 2;
    const float order = float(n) / 2.0f;
    for (int i = 0; i <= cy; ++i)
        for (int j = 0; j <= cx; ++j) {
            const int64_t di = i - cy, dj = j - cx;
            const float rho = float(dj * dj + di * di) / d2;
            const float v = std::floor(0.5f + 255.0f / (1.0f + std::pow(rho, order)));
            const uint8_t pix = clampbyte(truncsat(v));
            greyrow(out, i)[j] = pix;
            greyrow(out, i)[W - 1 - j] = pix;
            greyrow(out, H - 1 - i)[j] = pix;
            greyrow(out, H - 1 - i)[W - 1 - j] = pix;
        }
}

namespace {

void cartesian(int g, int a, int out, int mode, double (*part)(double)) {
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *gr = greyrow(g, r), *ar = greyrow(a, r);
        uint8_t *dst = greyrow(out, r);
        for (int c = 0; c < ifw; ++c) {
            const double x = gr[c] * part(ar[c] * 2.0 * M_PI / 256.0);
            if (mode == 1) dst[c] = clampbyte(truncsat(x));
            else if (mode == 2) dst[c] = clampbyte(truncsat(x + 128.0));
            else dst[c] = clampbyte(truncsat(std::fabs(x)));
        }
    }
}

double cosine(double x) { return std::cos(x); }
double sine(double x) { return std::sin(x); }

}  // namespace

void real(int g, int a, int out, int mode) { cartesian(g, a, out, mode, cosine); }
void imaginary(int g, int a, int out, int mode) { cartesian(g, a, out, mode, sine); }
