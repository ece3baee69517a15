// Convolution, recursive filtering and Fourier transforms of grey images.
#include "signal.h"
#include "intern.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

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
void convh(int in, int out, const int32_t *mask, int n, int mode, int fact) {
    checkconv("convh, fact must not be 0", "convh: 0<=mode<=3", mode, fact);
    const int c0 = n / 2;
    for (int r = 0; r < ifh; ++r) {
        const uint8_t *src = greyrow(in, r);
        uint8_t *dst = greyrow(out, r);
        for (int x = 0; x < ifw; ++x) {
            // input column x + c0 - j must lie in 0..ifw-1
            const int jlo = std::max(0, x + c0 - (ifw - 1)), jhi = std::min(n - 1, x + c0);
            int64_t s = 0, w = 0;
            for (int j = jlo; j <= jhi; ++j) {
                s += int64_t(mask[j]) * src[x + c0 - j];
                w += mask[j];
            }
            dst[x] = convoutput(s, w, mode, fact);
        }
    }
}

void conv(int in, int out, const int32_t *mask, int w, int h, int mode, int fact) {
    checkconv("conv, fact must not be 0", "conv: 0<=mode<=3", mode, fact);
    const int r0 = h / 2, c0 = w / 2;
    for (int y = 0; y < ifh; ++y) {
        const int ilo = std::max(0, y + r0 - (ifh - 1)), ihi = std::min(h - 1, y + r0);
        uint8_t *dst = greyrow(out, y);
        for (int x = 0; x < ifw; ++x) {
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
            dst[x] = convoutput(s, sw, mode, fact);
        }
    }
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

void fft(int re, int im, int dir) {
    fftswap(re, im);
    const int W = ifw, H = ifh;
    float *pr = floatdata(re), *pi = floatdata(im);
    auto wr = scratch<float>(size_t(std::max(W, H)));
    auto wi = scratch<float>(size_t(std::max(W, H)));
    // along every row
    for (int len = 2; len <= W; len *= 2) {
        const int h = len / 2;
        twiddles(h, dir, wr.get(), wi.get());
        for (int r = 0; r < H; ++r) {
            float *xr = pr + size_t(r) * W, *xi = pi + size_t(r) * W;
            for (int k = 0; k < W; k += len)
                for (int j = 0; j < h; ++j) {
                    const int a = k + j, b = a + h;
                    const float tr = wr[j] * xr[b] - wi[j] * xi[b];
                    const float ti = wr[j] * xi[b] + wi[j] * xr[b];
                    xr[b] = xr[a] - tr;
                    xi[b] = xi[a] - ti;
                    xr[a] += tr;
                    xi[a] += ti;
                }
        }
    }
    // along every column, a whole row pair at a time
    for (int len = 2; len <= H; len *= 2) {
        const int h = len / 2;
        twiddles(h, dir, wr.get(), wi.get());
        for (int k = 0; k < H; k += len)
            for (int j = 0; j < h; ++j) {
                float *ar = pr + size_t(k + j) * W, *ai = pi + size_t(k + j) * W;
                float *br = ar + size_t(h) * W, *bi = ai + size_t(h) * W;
                const float cr = wr[j], ci = wi[j];
                for (int c = 0; c < W; ++c) {
                    const float tr = cr * br[c] - ci * bi[c];
                    const float ti = cr * bi[c] + ci * br[c];
                    br[c] = ar[c] - tr;
                    bi[c] = ai[c] - ti;
                    ar[c] += tr;
                    ai[c] += ti;
                }
            }
    }
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

void convbackeuler(int re, int im, int gout, int aout, float e) {
    float *pr = floatdata(re), *pi = floatdata(im);
    const size_t n = size_t(ifw) * ifh;
    // first pass: power into re, phase into im
    float pmax = 0.0f;
    for (size_t i = 0; i < n; ++i) {
        const float x = pr[i], y = pi[i];
        const float p = x * x + y * y;
        float phi;
        if (x > 0.0f) phi = std::atan(y / x);
        else if (x < 0.0f) phi = std::atan(y / x) + PI_F;
        else if (y > 0.0f) phi = PI_F / 2.0f;
        else if (y < 0.0f) phi = 3.0f * PI_F / 2.0f;
        else phi = 0.0f;
        if (p > pmax) pmax = p;
        pr[i] = p;
        pi[i] = phi;
    }
    const float half = e / 2.0f;
    const float norm = pmax == 0.0f ? 1.0f : std::pow(pmax, half) / 255.0f;
    for (int r = 0; r < ifh; ++r) {
        uint8_t *go = greyrow(gout, r), *ao = greyrow(aout, r);
        for (int c = 0; c < ifw; ++c, ++pr, ++pi) {
            // the strongest pixel is 255 exactly, whatever x / (x / 255) rounds to
            go[c] = pmax > 0.0f && *pr >= pmax ? 255 : clampbyte(truncsat(std::pow(*pr, half) / norm));
            // rounded to the nearest unit, negative angles included
            ao[c] = uint8_t(truncsat(std::floor(*pi * 128.0f / PI_F + 0.5f)) & 255);
        }
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
