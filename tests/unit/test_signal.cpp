// Convolutions, the recursive row filter and the Fourier transforms of the
// image library, checked against plain references written here (direct
// convolution sums, direct double-precision DFTs) on odd sizes, single
// pixels, single rows and columns, and powers of two for the fast transform.
#include <gtest/gtest.h>

#include "tests/unit/imatest.h"

#include "image/intern.h"
#include "image/signal.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

uint8_t &px(int h, int c, int r) { return imarray[h].data[(r + 1) * (imarray[h].w + 2) + c + 1]; }
float &fl(int h, int c, int r) { return reinterpret_cast<float *>(imarray[h].data)[r * imarray[h].w + c]; }

struct Size {
    int w, h;
};
constexpr Size oddsizes[] = {{1, 1}, {1, 7}, {9, 1}, {13, 7}, {5, 11}, {16, 3}};
constexpr Size pow2sizes[] = {{1, 1}, {1, 8}, {8, 1}, {4, 16}, {32, 8}, {2, 2}};

int clamp255(long long v) { return v < 0 ? 0 : v > 255 ? 255 : int(v); }

class Signal : public ImageTest {
protected:
    Signal() : ImageTest(4711) {}
    void randomgrey(int h, int lo = 0, int hi = 255) {
        for (uint32_t i = 0; i < imarray[h].nbytes; ++i) imarray[h].data[i] = uint8_t(randint(lo, hi));
    }
    void flat(int h, int v) {
        for (int r = 0; r < ifh; ++r)
            for (int c = 0; c < ifw; ++c) px(h, c, r) = uint8_t(v);
    }
};

// Reference output of the convolution modes from the full sum s and the sum
// of the weights used w.
int convmode(long long s, long long w, int mode, int fact) {
    switch (mode) {
    case 0: return clamp255(s / fact);
    case 1: return clamp255(w ? s / w : s);
    case 2: return clamp255(s / fact + 128);
    default: return std::min(255LL, std::llabs(s / fact));
    }
}

// ============================================================ convolutions

TEST_F(Signal, ConvhMatchesTheDirectTruncatedSum) {
    for (Size sz : oddsizes) {
        iframe(0, 0, sz.w, sz.h);
        Img in(8), out(8);
        randomgrey(in.h);
        for (int n = 0; n < sz.w; ++n)
            for (int mode = 0; mode < 4; ++mode) {
                std::vector<int32_t> m(n ? n : 1);
                for (auto &v : m) v = randint(-9, 9);
                int fact = randint(1, 5) * (randint(0, 1) ? 1 : -1);
                convh(in.h, out.h, m.data(), n, mode, fact);
                for (int r = 0; r < ifh; ++r)
                    for (int x = 0; x < ifw; ++x) {
                        long long s = 0, w = 0;
                        for (int j = 0; j < n; ++j) {
                            int col = x + n / 2 - j;
                            if (col < 0 || col >= ifw) continue;
                            s += m[j] * px(in.h, col, r);
                            w += m[j];
                        }
                        ASSERT_EQ(convmode(s, w, mode, fact), px(out.h, x, r))
                            << sz.w << "x" << sz.h << " n " << n << " mode " << mode << " x " << x;
                    }
            }
    }
}

TEST_F(Signal, ConvhWorkedCases) {
    iframe(0, 0, 5, 1);
    Img in(8), out(8);
    const int row[5] = {10, 20, 30, 40, 50};
    for (int c = 0; c < 5; ++c) px(in.h, c, 0) = uint8_t(row[c]);
    const int32_t mean[3] = {1, 1, 1};
    convh(in.h, out.h, mean, 3, 1, 1);   // running mean, two-pixel means at the ends
    const int expect[5] = {15, 20, 30, 40, 45};
    for (int c = 0; c < 5; ++c) EXPECT_EQ(expect[c], px(out.h, c, 0));
    const int32_t one[1] = {1};
    convh(in.h, out.h, one, 1, 0, 1);
    for (int c = 0; c < 5; ++c) EXPECT_EQ(row[c], px(out.h, c, 0));
    // a derivative: the mask is flipped, so (1 0 -1) gives right minus left
    const int32_t diff[3] = {1, 0, -1};
    convh(in.h, out.h, diff, 3, 2, 1);
    EXPECT_EQ(128 + 20, px(out.h, 2, 0));
    flat(in.h, 77);
    convh(in.h, out.h, diff, 3, 2, 1);
    EXPECT_EQ(128, px(out.h, 2, 0));
    convh(in.h, out.h, diff, 3, 3, 1);
    EXPECT_EQ(0, px(out.h, 2, 0));
    convh(in.h, out.h, diff, 3, 1, 0);   // weights sum to 0: the sum itself
    EXPECT_EQ(0, px(out.h, 2, 0));
    EXPECT_EQ(77, px(out.h, 0, 0));      // at the edge only the weights 1 and 0 are used
}

TEST_F(Signal, ConvMatchesTheDirectTruncatedSum) {
    for (Size sz : oddsizes) {
        iframe(0, 0, sz.w, sz.h);
        Img in(8), out(8);
        randomgrey(in.h);
        for (int mh = 1; mh < std::max(2, sz.h); ++mh)
            for (int mw = 1; mw < std::max(2, sz.w); mw += 2) {
                int mode = randint(0, 3), fact = randint(1, 4);
                std::vector<int32_t> m(mw * mh);
                for (auto &v : m) v = randint(-5, 9);
                conv(in.h, out.h, m.data(), mw, mh, mode, fact);
                for (int y = 0; y < ifh; ++y)
                    for (int x = 0; x < ifw; ++x) {
                        long long s = 0, w = 0;
                        for (int i = 0; i < mh; ++i)
                            for (int j = 0; j < mw; ++j) {
                                int rr = y + mh / 2 - i, cc = x + mw / 2 - j;
                                if (rr < 0 || rr >= ifh || cc < 0 || cc >= ifw) continue;
                                s += m[i * mw + j] * px(in.h, cc, rr);
                                w += m[i * mw + j];
                            }
                        ASSERT_EQ(convmode(s, w, mode, fact), px(out.h, x, y))
                            << sz.w << "x" << sz.h << " mask " << mw << "x" << mh << " at " << x << "," << y;
                    }
            }
    }
}

TEST_F(Signal, ConvolutionsSurviveHugeWeights) {
    iframe(0, 0, 3, 3);
    Img in(8), out(8);
    flat(in.h, 255);
    const int32_t big[3] = {2147483647, 2147483647, 2147483647};
    convh(in.h, out.h, big, 3, 3, -1);
    EXPECT_EQ(255, px(out.h, 1, 1));
    conv(in.h, out.h, big, 3, 1, 2, 1);
    EXPECT_EQ(255, px(out.h, 1, 1));
}

TEST_F(Signal, ConvolutionsReportAZeroFactor) {
    iframe(0, 0, 4, 4);
    Img in(8), out(8);
    const int32_t m[1] = {1};
    EXPECT_THROW(
        try { convh(in.h, out.h, m, 1, 0, 0); } catch (const ImaFailure &e) {
            EXPECT_EQ(std::string("convh, fact must not be 0"), e.what());
            throw;
        },
        ImaFailure);
    EXPECT_THROW(
        try { conv(in.h, out.h, m, 1, 1, 3, 0); } catch (const ImaFailure &e) {
            EXPECT_EQ(std::string("conv, fact must not be 0"), e.what());
            throw;
        },
        ImaFailure);
    flat(in.h, 9);
    convh(in.h, out.h, m, 1, 1, 0);   // mode 1 does not use fact
    EXPECT_EQ(9, px(out.h, 3, 3));
}

// The convolution routines as they were before the vector path: the sums
// pixel by pixel over the part of the mask inside the frame.
uint8_t oldconvoutput(int64_t s, int64_t w, int mode, int fact) {
    auto clampbyte = [](int64_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
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

void oldconv(int in, int out, const int32_t *mask, int w, int h, int mode, int fact) {
    const int r0 = h / 2, c0 = w / 2;
    for (int y = 0; y < ifh; ++y) {
        const int ilo = std::max(0, y + r0 - (ifh - 1)), ihi = std::min(h - 1, y + r0);
        for (int x = 0; x < ifw; ++x) {
            const int jlo = std::max(0, x + c0 - (ifw - 1)), jhi = std::min(w - 1, x + c0);
            int64_t s = 0, sw = 0;
            for (int i = ilo; i <= ihi; ++i) {
                const uint8_t *src = &px(in, x + c0, y + r0 - i);
                const int32_t *m = mask + size_t(i) * w;
                for (int j = jlo; j <= jhi; ++j) {
                    s += int64_t(m[j]) * src[-j];
                    sw += m[j];
                }
            }
            px(out, x, y) = oldconvoutput(s, sw, mode, fact);
        }
    }
}

// Runs f once with the vector routines (where the processor has them) and
// once with the plain ones.
template <typename F>
void bothpaths(F f) {
    const bool had = signal_avx2;
    for (bool simd : {true, false}) {
        signal_avx2 = had && simd;
        f(simd);
    }
    signal_avx2 = had;
}

void expectsameimage(int a, int b, const std::string &what) {
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x)
            ASSERT_EQ(int(px(a, x, y)), int(px(b, x, y))) << what << " at " << x << "," << y;
}

TEST_F(Signal, ConvolutionsMatchTheOldRoutinesOnRandomImages) {
    // widths below, at and above one 16-pixel vector step, masks of every
    // width and height the frame allows up to 17, odd and even
    const Size frames[] = {{37, 23}, {16, 9}, {15, 18}, {70, 5}, {3, 40}};
    for (Size sz : frames) {
        iframe(0, 0, sz.w, sz.h);
        Img in(8), out(8), ref(8);
        randomgrey(in.h);
        for (int mh = 1; mh < std::min(sz.h, 18); ++mh)
            for (int mw = 1; mw < std::min(sz.w, 18); ++mw) {
                const int mode = randint(0, 3);
                const int range = randint(0, 2) == 0 ? 3 : randint(0, 1) ? 300 : 32767;
                const int facts[] = {1, 2, 16, 3, -1, -4, 7, 1000};
                const int fact = facts[randint(0, 7)];
                std::vector<int32_t> m(size_t(mw) * mh);
                for (auto &v : m) v = randint(-range, range);
                oldconv(in.h, ref.h, m.data(), mw, mh, mode, fact);
                bothpaths([&](bool simd) {
                    conv(in.h, out.h, m.data(), mw, mh, mode, fact);
                    expectsameimage(out.h, ref.h, "conv " + std::to_string(mw) + "x" + std::to_string(mh) + " mode " +
                                                      std::to_string(mode) + " fact " + std::to_string(fact) +
                                                      (simd ? " vector" : " plain"));
                    if (mh == 1) {
                        convh(in.h, out.h, m.data(), mw, mode, fact);
                        expectsameimage(out.h, ref.h, "convh " + std::to_string(mw));
                    }
                });
            }
    }
}

TEST_F(Signal, ConvolutionsAtTheLimitsOf32BitSums) {
    iframe(0, 0, 40, 20);
    Img in(8), out(8), ref(8);
    // sums of absolute weights times 255 just at and just beyond 2^31 - 1,
    // extreme 16-bit weights, weights beyond 16 bits, weights summing to 0
    std::vector<std::vector<int32_t>> masks;
    std::vector<int32_t> atlimit(272, 30961);   // 272 * 30961 * 255 = 2147454960
    for (size_t k = 0; k < atlimit.size(); k += 3) atlimit[k] = -atlimit[k];
    masks.push_back(atlimit);
    std::vector<int32_t> beyond = atlimit;
    beyond[5] += 200;   // 2147505960
    masks.push_back(beyond);
    masks.push_back({-32768, 32767, -32768, 32767, -32768});
    masks.push_back({40000, -1, 2});
    masks.push_back({5, -5, 3, -3, 0, 0, 1, -1, 0});
    for (int fill = 0; fill < 2; ++fill) {
        if (fill) randomgrey(in.h);
        else flat(in.h, 255);
        for (const auto &m : masks)
            for (int mode = 0; mode < 4; ++mode)
                for (int fact : {1, -3, 65536}) {
                    // as one row, and folded into rows of 17 where it divides
                    const int n = int(m.size());
                    for (int w : {n, 17}) {
                        if (n % w || w >= ifw || n / w >= ifh) continue;
                        oldconv(in.h, ref.h, m.data(), w, n / w, mode, fact);
                        bothpaths([&](bool) {
                            conv(in.h, out.h, m.data(), w, n / w, mode, fact);
                            expectsameimage(out.h, ref.h, "mask of " + std::to_string(n) + " mode " + std::to_string(mode));
                        });
                    }
                }
    }
}

// ======================================================== recursive filter

// The forward-backward recursion in double precision, straight from its
// equations with explicit index ranges.
std::vector<double> rechreference(const std::vector<double> &row, const std::vector<double> &a,
                                  const std::vector<double> &b) {
    const int n = int(row.size()), na = int(a.size()), nb = int(b.size());
    const int m = std::max(nb, na - 1);
    double d = 1;
    for (double v : b) d -= v;
    double asum = 0;
    for (double v : a) asum += v;
    const double g = asum / d;
    std::vector<double> x(n + 2 * m), y(n + 2 * m);
    for (int i = 0; i < n + 2 * m; ++i) x[i] = i < m ? row[0] : i < m + n ? row[i - m] : 0;
    for (int i = 0; i < m; ++i) y[i] = g * row[0];
    for (int i = m; i < m + n; ++i) {
        y[i] = 0;
        for (int k = 0; k < na; ++k) y[i] += a[k] * x[i - k];
        for (int k = 0; k < nb; ++k) y[i] += b[k] * y[i - 1 - k];
    }
    for (int i = m + n; i < n + 2 * m; ++i) y[i] = y[m + n - 1], x[i] = g * y[m + n - 1];
    for (int i = m + n - 1; i >= m; --i) {
        x[i] = 0;
        for (int k = 0; k < na; ++k) x[i] += a[k] * y[i + k];
        for (int k = 0; k < nb; ++k) x[i] += b[k] * x[i + 1 + k];
    }
    return {x.begin() + m, x.begin() + m + n};
}

TEST_F(Signal, RechFollowsTheRecursionWithinRounding) {
    for (Size sz : oddsizes) {
        iframe(0, 0, sz.w, sz.h);
        Img in(8), out(8);
        randomgrey(in.h);
        for (int trial = 0; trial < 6; ++trial) {
            const int na = randint(1, 4), nb = randint(0, 3), mode = randint(1, 3);
            std::vector<float> a(na), b(nb);
            std::vector<double> ad(na), bd(nb);
            for (int k = 0; k < na; ++k) ad[k] = a[k] = float(randint(-50, 100)) / 256.0f;
            for (int k = 0; k < nb; ++k) bd[k] = b[k] = float(randint(0, 40)) / 256.0f;
            rech(in.h, out.h, a.data(), na, b.data(), nb, mode);
            for (int r = 0; r < ifh; ++r) {
                std::vector<double> row(ifw);
                for (int c = 0; c < ifw; ++c) row[c] = px(in.h, c, r);
                std::vector<double> ref = rechreference(row, ad, bd);
                for (int c = 0; c < ifw; ++c) {
                    long long t = (long long)ref[c];
                    int expect = mode == 1 ? clamp255(t) : mode == 2 ? clamp255(t + 128) : int(std::min(255LL, std::llabs(t)));
                    ASSERT_NEAR(expect, px(out.h, c, r), 1) << "mode " << mode << " col " << c;
                }
            }
        }
    }
}

TEST_F(Signal, RechKeepsFlatImagesAndIsZeroPhase) {
    iframe(0, 0, 31, 2);
    Img in(8), out(8);
    flat(in.h, 90);
    const float half[1] = {0.5f};
    rech(in.h, out.h, half, 1, half, 1, 1);   // gain 1
    for (int c = 0; c < 31; ++c) ASSERT_EQ(90, px(out.h, c, 1));
    // an impulse spreads symmetrically about its own column
    flat(in.h, 0);
    px(in.h, 15, 0) = 255;
    const float a[2] = {0.3f, 0.2f}, b[1] = {0.5f};
    rech(in.h, out.h, a, 2, b, 1, 1);
    for (int k = 1; k < 15; ++k) ASSERT_NEAR(px(out.h, 15 - k, 0), px(out.h, 15 + k, 0), 1) << k;
    EXPECT_GT(px(out.h, 15, 0), px(out.h, 14, 0));
}

TEST_F(Signal, RechReportsAPoleAtZero) {
    iframe(0, 0, 40, 1);
    Img in(8), out(8);
    randomgrey(in.h, 1, 255);
    const float one[1] = {1.0f};
    try {
        rech(in.h, out.h, one, 1, one, 1, 1);
        FAIL() << "no error";
    } catch (const ImaFailure &e) {
        EXPECT_EQ(std::string("not stable filter (pole for freq=0)"), e.what());
    }
}

// ====================================================== Fourier transforms

// Direct DFT of the (magnitude, phase byte) pair with kernel e^(sign i theta).
std::complex<double> dft(int g, int a, int u, int v, double sign) {
    std::complex<double> sum = 0;
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) {
            double theta = 2 * M_PI * (double(u) * y / ifh + double(v) * x / ifw);
            double phase = px(a, x, y) * 2 * M_PI / 256;
            sum += double(px(g, x, y)) * std::polar(1.0, phase + sign * theta);
        }
    return sum;
}

TEST_F(Signal, FtMatchesTheDirectSumWithinThePhaseQuantisation) {
    for (Size sz : oddsizes) {
        if (sz.w * sz.h > 60) continue;
        iframe(0, 0, sz.w, sz.h);
        Img g(8), a(8), go(8), ao(8);
        randomgrey(g.h);
        randomgrey(a.h, 0, 16);   // coherent enough for a strong zero frequency
        double total = 0;
        for (int r = 0; r < ifh; ++r)
            for (int c = 0; c < ifw; ++c) total += px(g.h, c, r);
        for (int dir : {1, -1}) {
            const float fact = dir == 1 ? 2.0f : 40.0f;
            ft(g.h, a.h, go.h, ao.h, dir, fact);
            // each term's angle is off by at most 1.5 256ths of a turn
            const double slack = total * 1.5 * 2 * M_PI / 256;
            for (int u = 0; u < ifh; ++u)
                for (int v = 0; v < ifw; ++v) {
                    std::complex<double> f = dft(g.h, a.h, u, v, -dir);
                    double scale = dir == 1 ? fact / double(ifw * ifh) : 1.0 / fact;
                    double mag = std::abs(f) * scale;
                    double got = px(go.h, v, u);
                    if (mag < 255 - slack * scale) {
                        ASSERT_NEAR(mag, got, slack * scale + 1) << u << "," << v;
                    }
                    if (std::abs(f) > 8 * slack) {
                        double phi = std::arg(f) * 128 / M_PI;
                        double diff = std::fmod(phi - px(ao.h, v, u) + 512.0, 256.0);
                        ASSERT_LT(std::min(diff, 256 - diff), 8) << u << "," << v;
                    }
                }
        }
    }
}

TEST_F(Signal, FtOfAFlatImage) {
    iframe(0, 0, 5, 3);
    Img g(8), a(8), go(8), ao(8);
    flat(g.h, 37);
    flat(a.h, 0);
    ft(g.h, a.h, go.h, ao.h, 1, 1.0f);
    EXPECT_EQ(37, px(go.h, 0, 0));
    EXPECT_EQ(0, px(ao.h, 0, 0));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            if (r || c) {
                EXPECT_LE(px(go.h, c, r), 1) << c << "," << r;
            }
    ft(g.h, a.h, go.h, ao.h, -1, 0.0f);   // division by a zero factor saturates
    EXPECT_EQ(255, px(go.h, 0, 0));
    ft(g.h, a.h, go.h, ao.h, 1, -1.0f);   // a negative factor gives no wrapped bytes
    EXPECT_EQ(0, px(go.h, 0, 0));
}

TEST_F(Signal, FftMatchesTheDirectDft) {
    for (Size sz : pow2sizes) {
        iframe(0, 0, sz.w, sz.h);
        Img re(32), im(32);
        std::vector<std::complex<double>> in(sz.w * sz.h);
        for (int dir : {1, -1}) {
            for (int r = 0; r < sz.h; ++r)
                for (int c = 0; c < sz.w; ++c) {
                    in[r * sz.w + c] = {double(randint(-100, 100)), double(randint(-100, 100))};
                    fl(re.h, c, r) = float(in[r * sz.w + c].real());
                    fl(im.h, c, r) = float(in[r * sz.w + c].imag());
                }
            fft(re.h, im.h, dir);
            for (int u = 0; u < sz.h; ++u)
                for (int v = 0; v < sz.w; ++v) {
                    std::complex<double> sum = 0;
                    for (int y = 0; y < sz.h; ++y)
                        for (int x = 0; x < sz.w; ++x)
                            sum += in[y * sz.w + x] *
                                   std::polar(1.0, dir * 2 * M_PI * (double(u) * y / sz.h + double(v) * x / sz.w));
                    const double tol = 1e-5 * 150 * sz.w * sz.h + 0.01;
                    ASSERT_NEAR(sum.real(), fl(re.h, v, u), tol) << sz.w << "x" << sz.h << " " << u << "," << v;
                    ASSERT_NEAR(sum.imag(), fl(im.h, v, u), tol) << sz.w << "x" << sz.h << " " << u << "," << v;
                }
        }
    }
}

TEST_F(Signal, FftswapReversesColumnAndRowBits) {
    iframe(0, 0, 8, 4);
    Img re(32), im(32);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c) fl(re.h, c, r) = float(r * 8 + c), fl(im.h, c, r) = float(-(r * 8 + c));
    fftswap(re.h, im.h);
    const int rev8[8] = {0, 4, 2, 6, 1, 5, 3, 7}, rev4[4] = {0, 2, 1, 3};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c) {
            EXPECT_EQ(float(rev4[r] * 8 + rev8[c]), fl(re.h, c, r));
            EXPECT_EQ(-float(rev4[r] * 8 + rev8[c]), fl(im.h, c, r));
        }
}

// The fast transform as it was before the blocked routines: columns and
// rows swapped in place, then radix-2 stages over whole rows and columns.
void oldfft(int re, int im, int dir) {
    fftswap(re, im);
    const int W = ifw, H = ifh;
    float *pr = reinterpret_cast<float *>(imarray[re].data), *pi = reinterpret_cast<float *>(imarray[im].data);
    std::vector<float> wr(std::max(W, H)), wi(std::max(W, H));
    auto twiddles = [&](int h) {
        const float step = 3.14159265358979f / float(h);
        float theta = 0.0f;
        for (int j = 0; j < h; ++j) {
            wr[j] = std::cos(theta);
            wi[j] = dir == 1 ? std::sin(theta) : -std::sin(theta);
            theta += step;
        }
    };
    for (int len = 2; len <= W; len *= 2) {
        const int h = len / 2;
        twiddles(h);
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
    for (int len = 2; len <= H; len *= 2) {
        const int h = len / 2;
        twiddles(h);
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

// The polar conversion as it was: atan and pow for every pixel.
void oldconvbackeuler(int re, int im, int gout, int aout, float e) {
    const float PI_F = 3.14159265358979f;
    float *pr = reinterpret_cast<float *>(imarray[re].data), *pi = reinterpret_cast<float *>(imarray[im].data);
    const size_t n = size_t(ifw) * ifh;
    auto truncsat = [](double x) -> int64_t {
        if (!(x == x)) return 0;
        if (x > 1099511627776.0) return int64_t(1) << 40;
        if (x < -1099511627776.0) return -(int64_t(1) << 40);
        return int64_t(x);
    };
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
    for (int r = 0; r < ifh; ++r)
        for (int c = 0; c < ifw; ++c, ++pr, ++pi) {
            px(gout, c, r) = pmax > 0.0f && *pr >= pmax ? 255 : uint8_t(clamp255(truncsat(std::pow(*pr, half) / norm)));
            px(aout, c, r) = uint8_t(truncsat(std::floor(*pi * 128.0f / PI_F + 0.5f)) & 255);
        }
}

TEST_F(Signal, FftGivesExactlyTheOldRoutinesResults) {
    const Size sizes[] = {{1, 1}, {2, 2}, {1, 16}, {32, 1}, {4, 64}, {64, 8}, {128, 32}, {16, 128}};
    std::uniform_real_distribution<float> value(-300.0f, 300.0f);
    for (Size sz : sizes) {
        iframe(0, 0, sz.w, sz.h);
        Img re(32), im(32), refre(32), refim(32);
        const size_t n = size_t(sz.w) * sz.h;
        for (int dir : {1, -1}) {
            std::vector<float> inre(n), inim(n);
            for (size_t i = 0; i < n; ++i) inre[i] = value(rng), inim[i] = value(rng);
            std::memcpy(imarray[refre.h].data, inre.data(), n * 4);
            std::memcpy(imarray[refim.h].data, inim.data(), n * 4);
            oldfft(refre.h, refim.h, dir);
            bothpaths([&](bool simd) {
                std::memcpy(imarray[re.h].data, inre.data(), n * 4);
                std::memcpy(imarray[im.h].data, inim.data(), n * 4);
                fft(re.h, im.h, dir);
                ASSERT_EQ(0, std::memcmp(imarray[re.h].data, imarray[refre.h].data, n * 4))
                    << sz.w << "x" << sz.h << " dir " << dir << (simd ? " vector" : " plain");
                ASSERT_EQ(0, std::memcmp(imarray[im.h].data, imarray[refim.h].data, n * 4))
                    << sz.w << "x" << sz.h << " dir " << dir << (simd ? " vector" : " plain");
            });
        }
    }
}

TEST_F(Signal, PolarConversionGivesExactlyTheOldRoutinesBytes) {
    iframe(0, 0, 64, 48);
    Img re(32), im(32), go(8), ao(8), refg(8), refa(8);
    const size_t n = 64 * 48;
    std::vector<float> x(n), y(n);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    auto fill = [&](int kind) {
        std::uniform_real_distribution<float> wide(-1000.0f, 1000.0f);
        for (size_t i = 0; i < n; ++i) {
            if (kind == 0) {   // spread values, some on the axes and at the origin
                x[i] = i % 17 == 0 ? 0.0f : wide(rng);
                y[i] = i % 13 == 0 ? (i % 2 ? -0.0f : 0.0f) : wide(rng);
            } else if (kind == 1) {   // on and right beside the rounding steps of the phase
                const double step = (double(randint(0, 511)) + 0.5 * randint(-1, 1)) * M_PI / 256.0;
                const double r = std::ldexp(1.0, randint(-20, 20));
                x[i] = float(r * std::cos(step)), y[i] = float(r * std::sin(step));
                if (randint(0, 1)) x[i] = std::nextafter(x[i], inf), y[i] = std::nextafter(y[i], -inf);
            } else {   // a spectrum of a few strong and many weak pixels, with infinities and NaN
                x[i] = wide(rng) * std::ldexp(1.0f, randint(-30, 30));
                y[i] = wide(rng) * std::ldexp(1.0f, randint(-30, 30));
                if (i % 331 == 0) x[i] = inf;
                if (i % 449 == 0) y[i] = nan;
            }
        }
    };
    for (int kind = 0; kind < 3; ++kind) {
        fill(kind);
        for (float e : {1.0f, 0.5f, 1.0f / 3.0f, 0.125f, -1.0f, 0.0f}) {
            std::memcpy(imarray[re.h].data, x.data(), n * 4);
            std::memcpy(imarray[im.h].data, y.data(), n * 4);
            oldconvbackeuler(re.h, im.h, refg.h, refa.h, e);
            bothpaths([&](bool simd) {
                std::memcpy(imarray[re.h].data, x.data(), n * 4);
                std::memcpy(imarray[im.h].data, y.data(), n * 4);
                convbackeuler(re.h, im.h, go.h, ao.h, e);
                const std::string what = "kind " + std::to_string(kind) + " e " + std::to_string(e) + (simd ? " vector" : " plain");
                expectsameimage(go.h, refg.h, "magnitude, " + what);
                expectsameimage(ao.h, refa.h, "phase, " + what);
            });
        }
    }
}

TEST_F(Signal, PolarPairsConvertBothWays) {
    iframe(0, 0, 4, 2);
    Img g(8), a(8), re(32), im(32), go(8), ao(8);
    randomgrey(g.h);
    randomgrey(a.h);
    px(g.h, 0, 0) = 255;
    conveuler(g.h, a.h, re.h, im.h, 1.0f);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) {
            double ang = px(a.h, c, r) * 2 * M_PI / 256;
            ASSERT_NEAR(px(g.h, c, r) * std::cos(ang), fl(re.h, c, r), 0.01);
            ASSERT_NEAR(px(g.h, c, r) * std::sin(ang), fl(im.h, c, r), 0.01);
        }
    convbackeuler(re.h, im.h, go.h, ao.h, 1.0f);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) {
            ASSERT_NEAR(px(g.h, c, r), px(go.h, c, r), 1);
            if (px(g.h, c, r) > 0) {
                int d = std::abs(px(a.h, c, r) - px(ao.h, c, r));
                ASSERT_LE(std::min(d, 256 - d), 1) << c << "," << r;
            }
        }
    // the magnitude code with exponent k: conveuler(s = k) undoes 255 (m/255)^(1/k)
    px(g.h, 1, 0) = 128;
    px(a.h, 0, 0) = px(a.h, 1, 0) = 0;
    conveuler(g.h, a.h, re.h, im.h, 2.0f);
    EXPECT_NEAR(255.0 * std::pow(128.0 / 255.0, 2.0), fl(re.h, 1, 0), 0.05);
    EXPECT_NEAR(255.0, fl(re.h, 0, 0), 0.01);
    EXPECT_EQ(0.0f, fl(im.h, 1, 0));
}

TEST_F(Signal, MultiplyThenDivideRestoresTheSpectrum) {
    iframe(0, 0, 5, 3);
    Img g(8), a(8), re(32), im(32);
    randomgrey(g.h);
    randomgrey(a.h);
    px(g.h, 2, 1) = 0;   // a zero divisor leaves that pixel as it is
    std::vector<float> r0, i0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c) {
            fl(re.h, c, r) = float(randint(-50, 50));
            fl(im.h, c, r) = float(randint(-50, 50));
            r0.push_back(fl(re.h, c, r));
            i0.push_back(fl(im.h, c, r));
        }
    multdiv(g.h, a.h, re.h, im.h, '*', 1.0f);
    EXPECT_EQ(0.0f, fl(re.h, 2, 1));
    const double ang = px(a.h, 0, 0) * 2 * M_PI / 256;
    EXPECT_NEAR((std::complex<double>(r0[0], i0[0]) * std::polar(double(px(g.h, 0, 0)), ang)).real(), fl(re.h, 0, 0),
                0.1);
    multdiv(g.h, a.h, re.h, im.h, '/', 1.0f);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c) {
            if (c == 2 && r == 1) {
                EXPECT_EQ(0.0f, fl(re.h, c, r));
                continue;
            }
            ASSERT_NEAR(r0[r * 5 + c], fl(re.h, c, r), 0.01);
            ASSERT_NEAR(i0[r * 5 + c], fl(im.h, c, r), 0.01);
        }
}

// The whole pipeline of the Lisp FFT on grey pairs.
void fftpipeline(int g, int a, int go, int ao, int dir, int k) {
    Img re(32), im(32);
    conveuler(g, a, re.h, im.h, dir == 1 ? 1.0f : float(k));
    fft(re.h, im.h, dir);
    convbackeuler(re.h, im.h, go, ao, dir == 1 ? 1.0f / float(k) : 1.0f);
}

TEST_F(Signal, ForwardThenInverseFftRestoresTheImage) {
    for (int k : {1, 2}) {
        iframe(0, 0, 16, 8);
        Img g(8), a(8), fg(8), fa(8), bg(8), ba(8);
        randomgrey(g.h, 0, 255);
        flat(a.h, 0);
        px(g.h, 3, 3) = 255;
        fftpipeline(g.h, a.h, fg.h, fa.h, 1, k);
        EXPECT_EQ(255, px(fg.h, 0, 0));   // the mean dominates
        fftpipeline(fg.h, fa.h, bg.h, ba.h, -1, k);
        int top = 0;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 16; ++c) {
                ASSERT_NEAR(px(g.h, c, r), px(bg.h, c, r), k == 1 ? 12 : 30) << c << "," << r;
                top = std::max(top, int(px(bg.h, c, r)));
            }
        EXPECT_EQ(255, top);   // scaled to a maximum of 255
    }
}

TEST_F(Signal, FftOfAFlatImagePeaksAtZeroOrAtTheCentre) {
    iframe(0, 0, 8, 4);
    Img g(8), a(8), fg(8), fa(8), c(8);
    flat(g.h, 50);
    flat(a.h, 0);
    fftpipeline(g.h, a.h, fg.h, fa.h, 1, 1);
    for (int r = 0; r < 4; ++r)
        for (int cc = 0; cc < 8; ++cc) ASSERT_EQ(r || cc ? 0 : 255, px(fg.h, cc, r));
    // the centring image as a phase: 128 = half a turn = a factor of -1
    fcenter(c.h);
    fftpipeline(g.h, c.h, fg.h, fa.h, 1, 1);
    for (int r = 0; r < 4; ++r)
        for (int cc = 0; cc < 8; ++cc) ASSERT_EQ(r == 2 && cc == 4 ? 255 : 0, px(fg.h, cc, r)) << cc << "," << r;
}

// ======================================================= frequency helpers

TEST_F(Signal, FcenterAlternates) {
    for (Size sz : oddsizes) {
        iframe(0, 0, sz.w, sz.h);
        Img c(8);
        fcenter(c.h);
        for (int r = 0; r < ifh; ++r)
            for (int x = 0; x < ifw; ++x) ASSERT_EQ((r + x) % 2 ? 128 : 0, px(c.h, x, r));
    }
}

TEST_F(Signal, ButterIsASymmetricLowPass) {
    iframe(0, 0, 64, 48);
    Img b(8);
    butter(b.h, 16, 2);
    EXPECT_EQ(255, px(b.h, 32, 24));
    EXPECT_EQ(128, px(b.h, 32 - 16, 24));   // 255 / 2 rounded
    EXPECT_EQ(128, px(b.h, 32, 24 - 16));
    EXPECT_EQ(255, px(b.h, 31, 24));        // even width: the mirror repeats the centre
    for (int r = 0; r < 48; ++r)
        for (int c = 0; c < 64; ++c) {
            ASSERT_EQ(px(b.h, c, r), px(b.h, 63 - c, r));
            ASSERT_EQ(px(b.h, c, r), px(b.h, c, 47 - r));
        }
    for (int c = 33; c < 64; ++c) ASSERT_LE(px(b.h, c, 24), px(b.h, c - 1, 24));
    // higher orders fall off more sharply beyond d
    Img steep(8);
    butter(steep.h, 16, 10);
    EXPECT_LT(px(steep.h, 32 - 24, 24), px(b.h, 32 - 24, 24));
    EXPECT_GT(px(steep.h, 32 - 8, 24), px(b.h, 32 - 8, 24));
    for (Size sz : oddsizes) {   // every pixel written, odd sizes included
        iframe(0, 0, sz.w, sz.h);
        Img o(8);
        for (uint32_t i = 0; i < imarray[o.h].nbytes; ++i) imarray[o.h].data[i] = 1;
        butter(o.h, 1000, 4);
        for (int r = 0; r < ifh; ++r)
            for (int c = 0; c < ifw; ++c) ASSERT_EQ(255, px(o.h, c, r));
    }
}

TEST_F(Signal, RealAndImaginaryParts) {
    iframe(0, 0, 4, 1);
    Img g(8), a(8), o(8);
    flat(g.h, 100);
    const int phases[4] = {0, 64, 128, 192};
    for (int c = 0; c < 4; ++c) px(a.h, c, 0) = uint8_t(phases[c]);
    const int re[3][4] = {{100, 0, 100, 0}, {100, 0, 0, 0}, {228, 128, 28, 127}};   // cos(3 pi/2) is a hair below 0
    const int imv[3][4] = {{0, 100, 0, 100}, {0, 100, 0, 0}, {128, 228, 128, 28}};
    for (int mode = 0; mode < 3; ++mode) {
        real(g.h, a.h, o.h, mode);
        for (int c = 0; c < 4; ++c) EXPECT_EQ(re[mode][c], px(o.h, c, 0)) << mode << " " << c;
        imaginary(g.h, a.h, o.h, mode);
        for (int c = 0; c < 4; ++c) EXPECT_EQ(imv[mode][c], px(o.h, c, 0)) << mode << " " << c;
    }
    flat(g.h, 255);
    flat(a.h, 0);
    real(g.h, a.h, o.h, 2);
    EXPECT_EQ(255, px(o.h, 0, 0));
}

}  // namespace
