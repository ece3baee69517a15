// Pixel access, geometry and arithmetic of the image library, checked
// against plain per-pixel references written here from the pixel layouts and
// the operators' formulas, on random images of awkward sizes.
#include <gtest/gtest.h>

#include "tests/unit/imatest.h"

#include "image/base.h"
#include "image/intern.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------- reference pixel access
// Image coordinates; BIN value 0/1, GREY byte, COL 0xRRGGBB.
int get(int h, int c, int r) {
    const s_image &im = imarray[h];
    if (im.depth == 1) return (im.data[r * ((im.w + 7) / 8) + c / 8] >> (c % 8)) & 1;
    if (im.depth == 8) return im.data[(r + 1) * (im.w + 2) + c + 1];
    const uint8_t *p = im.data + 3 * (r * im.w + c);
    return p[0] << 16 | p[1] << 8 | p[2];
}
void set(int h, int c, int r, int v) {
    const s_image &im = imarray[h];
    if (im.depth == 1) {
        uint8_t &b = im.data[r * ((im.w + 7) / 8) + c / 8];
        b = uint8_t(v ? b | (1 << (c % 8)) : b & ~(1 << (c % 8)));
    } else if (im.depth == 8) {
        im.data[(r + 1) * (im.w + 2) + c + 1] = uint8_t(v);
    } else {
        uint8_t *p = im.data + 3 * (r * im.w + c);
        p[0] = uint8_t(v >> 16);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v);
    }
}
int channel(int rgb, int ch) { return (rgb >> (16 - 8 * ch)) & 0xFF; }
std::vector<uint8_t> block(int h) { return {imarray[h].data, imarray[h].data + imarray[h].nbytes}; }

constexpr int depths[] = {1, 8, 24};

struct Size {
    int w, h;
};
// Single pixels, single rows and columns, widths around multiples of 8 and 64.
constexpr Size sizes[] = {{1, 1}, {1, 9}, {9, 1}, {13, 7}, {8, 3}, {64, 5}, {65, 4}, {130, 3}, {7, 70}};

class Base : public ImageTest {
protected:
    Base() : ImageTest(12345) {}
};

// Expects the failure message of an image library call.
void expectfailure(const std::function<void()> &call, const std::string &msg) {
    try {
        call();
        ADD_FAILURE() << "no failure, expected " << msg;
    } catch (const ImaFailure &e) {
        EXPECT_EQ(msg, e.what());
    }
}

// Compares every pixel of img with want(c, r); reports the first few differences.
template <class F>
void expectpixels(int img, F want) {
    int bad = 0;
    for (int r = 0; r < imarray[img].h && bad < 5; ++r)
        for (int c = 0; c < imarray[img].w && bad < 5; ++c) {
            int expected = want(c, r), got = get(img, c, r);
            if (expected != got) {
                ++bad;
                ADD_FAILURE() << "pixel (" << c << "," << r << ") got " << got << " want " << expected;
            }
        }
}
#define EXPECT_PIXELS(expr_of_c_r, img) expectpixels(img, [&]([[maybe_unused]] int c, [[maybe_unused]] int r) { return int(expr_of_c_r); })

// ============================================================ pixel access

TEST_F(Base, WritesAndReadsSinglePixelsInPlaneCoordinates) {
    for (int depth : depths)
        for (Size s : sizes) {
            Img a(s.w, s.h, depth, 5, 3);
            randomize(a.h);
            for (int n = 0; n < 20; ++n) {
                std::vector<uint8_t> before = block(a.h);
                int c = randint(0, s.w - 1), r = randint(0, s.h - 1);
                int v = depth == 1 ? randint(0, 1) : depth == 8 ? randint(0, 255) : randint(0, 0xFFFFFF);
                int old = get(a.h, c, r);
                if (depth == 1) binwpix(a.h, c + 5, r + 3, v);
                else if (depth == 8) greywpix(a.h, c + 5, r + 3, v);
                else colwpix(a.h, c + 5, r + 3, v);
                int back = depth == 1 ? binrpix(a.h, c + 5, r + 3)
                           : depth == 8 ? greyrpix(a.h, c + 5, r + 3) : colrpix(a.h, c + 5, r + 3);
                EXPECT_EQ(v, back);
                EXPECT_EQ(v, get(a.h, c, r));
                set(a.h, c, r, old);   // everything else untouched
                EXPECT_EQ(before, block(a.h));
            }
        }
}

TEST_F(Base, FlatLineHasOnePixelPerColumn) {
    Img g(12, 12, 8);
    std::memset(imarray[g.h].data, 0, imarray[g.h].nbytes);
    greywline(g.h, 0, 0, 9, 3, 255);
    const int want[10][2] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}, {7, 2}, {8, 3}, {9, 3}};
    std::vector<uint8_t> expected(imarray[g.h].nbytes, 0);
    for (auto &p : want) expected[(p[1] + 1) * 14 + p[0] + 1] = 255;
    EXPECT_EQ(expected, block(g.h));
    std::memset(imarray[g.h].data, 0, imarray[g.h].nbytes);
    greywline(g.h, 9, 3, 0, 0, 255);   // the same pixels drawn backwards
    EXPECT_EQ(expected, block(g.h));
}

TEST_F(Base, LinesAreConnectedAndEqualForAllTypes) {
    const int W = 41, H = 30;
    Img b(W, H, 1, 2, 1), g(W, H, 8, 2, 1), c(W, H, 24, 2, 1);
    for (int n = 0; n < 200; ++n) {
        for (int h : {b.h, g.h, c.h}) std::memset(imarray[h].data, 0, imarray[h].nbytes);
        int x1 = randint(0, W - 1), y1 = randint(0, H - 1), x2 = randint(0, W - 1), y2 = randint(0, H - 1);
        binwline(b.h, x1 + 2, y1 + 1, x2 + 2, y2 + 1, 1);
        greywline(g.h, x1 + 2, y1 + 1, x2 + 2, y2 + 1, 7);
        colwline(c.h, x1 + 2, y1 + 1, x2 + 2, y2 + 1, 0x10203);
        EXPECT_EQ(1, get(b.h, x1, y1));
        EXPECT_EQ(1, get(b.h, x2, y2));
        bool flat = std::abs(y2 - y1) < std::abs(x2 - x1);
        int count = 0;
        // one pixel per step of the major coordinate, each next to the previous one
        int prevminor = -100;
        for (int major = 0; major < (flat ? W : H); ++major) {
            int here = 0, minor = -1;
            for (int m = 0; m < (flat ? H : W); ++m) {
                int cc = flat ? major : m, rr = flat ? m : major;
                int vb = get(b.h, cc, rr), vg = get(g.h, cc, rr), vc = get(c.h, cc, rr);
                ASSERT_EQ(vb * 7, vg);
                ASSERT_EQ(vb * 0x10203, vc);
                if (vb) ++here, minor = m;
            }
            count += here;
            if (here) {
                ASSERT_EQ(1, here) << "major " << major;
                if (prevminor != -100) {
                    ASSERT_LE(std::abs(minor - prevminor), 1);
                }
                prevminor = minor;
            }
        }
        EXPECT_EQ(std::max(std::abs(x2 - x1), std::abs(y2 - y1)) + 1, count);
    }
}

TEST_F(Base, BordSetsTheOuterRingOnly) {
    for (int depth : depths)
        for (Size s : sizes) {
            Img a(s.w, s.h, depth, 3, 4);
            randomize(a.h);
            std::vector<int> before;
            for (int r = 0; r < s.h; ++r)
                for (int c = 0; c < s.w; ++c) before.push_back(get(a.h, c, r));
            int v = depth == 1 ? 1 : depth == 8 ? 77 : 0xA1B2C3;
            if (depth == 1) binbord(a.h, v, 3, 4, s.w, s.h);
            else if (depth == 8) greybord(a.h, v, 3, 4, s.w, s.h);
            else colbord(a.h, v, 3, 4, s.w, s.h);
            EXPECT_PIXELS((r == 0 || c == 0 || r == s.h - 1 || c == s.w - 1) ? v : before[r * s.w + c], a.h);
        }
}

// ================================================================ geometry

TEST_F(Base, CopyCopiesTheWholeBlock) {
    iframe(0, 0, 13, 7);
    for (int depth : depths) {
        Img a(depth), b(depth);
        randomize(a.h);
        if (depth == 1) bincopy(a.h, b.h);
        else if (depth == 8) greycopy(a.h, b.h);
        else colcopy(a.h, b.h);
        EXPECT_EQ(block(a.h), block(b.h));
    }
}

TEST_F(Base, ShiftMovesPixelsAndClearsTheRest) {
    for (Size s : sizes) {
        iframe(2, 3, s.w, s.h);
        const int shifts[][2] = {{0, 0}, {s.w - 1, 0}, {-(s.w - 1), s.h - 1}, {1, -1}, {-3, 2}, {9, 0}, {-8, 0}, {17, 1}};
        for (auto sh : shifts) {
            int dx = sh[0], dy = sh[1];
            if (std::abs(dx) >= s.w || std::abs(dy) >= s.h) continue;
            for (int depth : depths) {
                Img a(depth), b(depth);
                randomize(a.h);
                randomize(b.h);
                if (depth == 1) binshift(a.h, b.h, dx, dy);
                else if (depth == 8) greyshift(a.h, b.h, dx, dy);
                else colshift(a.h, b.h, dx, dy);
                int ah = a.h;
                SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " shift " << dx << "," << dy << " depth " << depth);
                EXPECT_PIXELS((c - dx >= 0 && c - dx < s.w && r - dy >= 0 && r - dy < s.h) ? get(ah, c - dx, r - dy) : 0, b.h);
            }
        }
    }
    iframe(0, 0, 10, 4);
    Img a(8), b(8);
    expectfailure([&] { greyshift(a.h, b.h, 10, 0); }, "shift, wrong dx dy");
    expectfailure([&] { binshift(a.h, b.h, 0, -4); }, "shift, wrong dx dy");
}

TEST_F(Base, ShiftOfLargeBinaryImage) {
    iframe(0, 0, 4096, 4096);
    Img a(1), b(1);
    randomize(a.h);
    binshift(a.h, b.h, -1003, 77);
    EXPECT_PIXELS((c + 1003 < 4096 && r >= 77) ? get(a.h, c + 1003, r - 77) : 0, b.h);
}

void rot90(int depth, int src, int dst, int dir) {
    if (depth == 1) binrot90(src, dst, dir);
    else if (depth == 8) greyrot90(src, dst, dir);
    else colrot90(src, dst, dir);
}

TEST_F(Base, QuarterTurnsMatchReference) {
    std::vector<Size> all(std::begin(sizes), std::end(sizes));
    all.push_back({70, 131});
    all.push_back({16, 8});
    for (Size s : all)
        for (int depth : depths)
            for (int dir : {1, -1}) {
                Img a(s.w, s.h, depth), b(s.h, s.w, depth);
                randomize(a.h);
                randomize(b.h);
                rot90(depth, a.h, b.h, dir);
                int ah = a.h, W = s.w, H = s.h;
                SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " depth " << depth << " dir " << dir);
                // result column j = c, row i = r
                EXPECT_PIXELS(dir == 1 ? get(ah, r, H - 1 - c) : get(ah, W - 1 - r, c), b.h);
            }
    Img a(3, 2, 8), b(3, 2, 8);
    expectfailure([&] { greyrot90(a.h, b.h, 1); }, "rot90, wrong destination size");
    Img c(2, 3, 8);
    expectfailure([&] { greyrot90(a.h, c.h, 2); }, "rot90 ima +1|-1");
}

TEST_F(Base, QuarterTurnOfLargeBinaryImage) {
    Img a(4096, 4096, 1), b(4096, 4096, 1);
    randomize(a.h);
    binrot90(a.h, b.h, -1);
    EXPECT_PIXELS(get(a.h, 4095 - r, c), b.h);
}

// Nearest-pixel rotation written from its formula: the source position is
// accumulated in float along each result row.
int rotref(int src, int k, int r, float angle) {
    float s = std::sin(-angle), c = std::cos(angle);
    float cx = (ifw - 1) * 0.5f, cy = (ifh - 1) * 0.5f;
    float xs = (cx + 0.5f) - c * cx + s * cy - s * float(r);
    float ys = (cy + 0.5f) - cx * s - cy * c + float(r) * c;
    for (int i = 0; i < k; ++i) xs += c, ys += s;
    int sx = int(std::floor(xs)), sy = int(std::floor(ys));
    return sx >= 0 && sx < ifw && sy >= 0 && sy < ifh ? get(src, sx, sy) : 0;
}

TEST_F(Base, NearestRotationMatchesFormula) {
    for (Size s : {Size{1, 1}, Size{1, 6}, Size{6, 1}, Size{13, 7}, Size{20, 20}, Size{33, 10}})
        for (int depth : depths)
            for (float deg : {0.f, 17.f, 90.f, -45.f, 180.f, 123.4f, 400.f}) {
                iframe(4, 1, s.w, s.h);
                Img a(depth), b(depth);
                randomize(a.h);
                randomize(b.h);
                float rad = float(deg * 0.017453292519943295);
                if (depth == 1) binrot(a.h, b.h, rad);
                else if (depth == 8) greyrot(a.h, b.h, rad);
                else colrot(a.h, b.h, rad);
                int ah = a.h;
                SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " depth " << depth << " angle " << deg);
                EXPECT_PIXELS(rotref(ah, c, r, rad), b.h);
                if (deg == 0) EXPECT_PIXELS(get(ah, c, r), b.h);
                if (depth == 8) {   // the hidden border is cleared
                    EXPECT_EQ(0, imarray[b.h].data[0]);
                    EXPECT_EQ(0, imarray[b.h].data[imarray[b.h].nbytes - 1]);
                }
            }
}

TEST_F(Base, RotationBy90EqualsQuarterTurnOnSquare) {
    iframe(0, 0, 21, 21);
    Img a(8), b(8), q(8);
    randomize(a.h);
    greyrot(a.h, b.h, float(90 * 0.017453292519943295));
    greyrot90(a.h, q.h, 1);
    EXPECT_PIXELS(get(q.h, c, r), b.h);
}

// got is the truncation of a float computation of the exact value want.
::testing::AssertionResult truncated(double want, int got) {
    if (got >= std::floor(want - 1e-3) && got <= std::floor(want + 1e-3)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << " for exact value " << want;
}

// Bilinear value from the formula in double precision.
double bilinearref(int src, int ch, double x, double y) {
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    double fx = x - ix, fy = y - iy;
    auto p = [&](int c, int r) { return double(imarray[src].depth == 8 ? get(src, c, r) : channel(get(src, c, r), ch)); };
    double top = p(ix, iy) + (p(ix + 1, iy) - p(ix, iy)) * fx;
    double bottom = p(ix, iy + 1) + (p(ix + 1, iy + 1) - p(ix, iy + 1)) * fx;
    return (bottom - top) * fy + top;
}

TEST_F(Base, BilinearRotationMatchesFormula) {
    for (Size s : {Size{2, 2}, Size{13, 7}, Size{24, 24}})
        for (int depth : {8, 24})
            for (double deg : {10.0, -33.0, 75.0, 150.0}) {
                iframe(0, 0, s.w, s.h);
                Img a(depth), b(depth);
                randomize(a.h);
                randomize(b.h);
                double rad = float(deg * 0.017453292519943295);
                if (depth == 8) greyrotbil(a.h, b.h, float(rad));
                else colrotbil(a.h, b.h, float(rad));
                double cs = std::cos(rad), sn = std::sin(-rad), cx = (s.w - 1) * 0.5, cy = (s.h - 1) * 0.5;
                int checked = 0;
                for (int r = 0; r < s.h; ++r)
                    for (int k = 0; k < s.w; ++k) {
                        // source position of result pixel (k, r) about the centre
                        double xs = cx + cs * (k - cx) - sn * (r - cy);
                        double ys = cy + sn * (k - cx) + cs * (r - cy);
                        const double e = 1e-3;
                        if (std::abs(xs) < e || std::abs(ys) < e || std::abs(xs - (s.w - 1)) < e ||
                            std::abs(ys - (s.h - 1)) < e)
                            continue;   // on the edge of the valid area: float rounding decides
                        bool valid = xs > 0 && ys > 0 && xs < s.w - 1 && ys < s.h - 1;
                        for (int ch = 0; ch < (depth == 8 ? 1 : 3); ++ch) {
                            int got = depth == 8 ? get(b.h, k, r) : channel(get(b.h, k, r), ch);
                            if (!valid) {
                                ASSERT_EQ(0, got) << k << "," << r;
                            } else {
                                ASSERT_TRUE(truncated(bilinearref(a.h, ch, xs, ys), got)) << k << "," << r << " deg " << deg;
                                ++checked;
                            }
                        }
                    }
                if (s.w > 2) {
                    EXPECT_GT(checked, 0);
                }
            }
}

TEST_F(Base, BilinearRotationByZeroKeepsAllButLastRowAndColumn) {
    iframe(0, 0, 9, 5);
    Img a(8), b(8);
    randomize(a.h);
    greyrotbil(a.h, b.h, 0);
    EXPECT_PIXELS(c < 8 && r < 4 ? get(a.h, c, r) : 0, b.h);
}

void zoom(int depth, int src, int dst, float fx, float fy) {
    if (depth == 1) binzoom(src, dst, fx, fy);
    else if (depth == 8) greyzoom(src, dst, fx, fy);
    else colzoom(src, dst, fx, fy);
}

TEST_F(Base, NearestZoomOfSimpleFactors) {
    for (Size s : sizes)
        for (int depth : depths) {
            iframe(0, 0, s.w, s.h);
            Img a(depth), b(depth);
            randomize(a.h);
            int ah = a.h;
            zoom(depth, a.h, b.h, 2, 2);
            EXPECT_PIXELS(get(ah, c / 2, r / 2), b.h);
            zoom(depth, a.h, b.h, 1, 1);
            EXPECT_PIXELS(get(ah, c, r), b.h);
            zoom(depth, a.h, b.h, 0.5f, 0.5f);
            // columns: int(w * 0.5); rows: while r < h * 0.5
            EXPECT_PIXELS(c < s.w / 2 && r < (s.h + 1) / 2 ? get(ah, 2 * c, 2 * r) : 0, b.h);
            zoom(depth, a.h, b.h, 1.6f, 4);   // 1 / 1.6 = 0.625 exactly
            EXPECT_PIXELS(get(ah, int(c * 0.625), r / 4), b.h);
            zoom(depth, a.h, b.h, 1, 0);
            EXPECT_PIXELS(0, b.h);
        }
    Img a(8), b(8);
    expectfailure([&] { greyzoom(a.h, b.h, 0, 1); }, "zoom, wrong fx fy");
    expectfailure([&] { binzoom(a.h, b.h, 1, -0.5f); }, "zoom, wrong fx fy");
    expectfailure([&] { colzoombil(a.h, b.h, NAN, 1); }, "zoom, wrong fx fy");
}

TEST_F(Base, BilinearZoomOfKnownImage) {
    iframe(0, 0, 4, 3);
    Img a(8), b(8);
    const int src[3][4] = {{0, 100, 200, 40}, {50, 150, 250, 60}, {10, 20, 30, 40}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) set(a.h, c, r, src[r][c]);
    randomize(b.h);
    greyzoombil(a.h, b.h, 2, 2);
    // result (k, r) samples (k/2, r/2); values worked out by hand
    const int want[3][4] = {{0, 50, 100, 150}, {25, 75, 125, 175}, {50, 100, 150, 200}};
    EXPECT_PIXELS(want[r][c], b.h);
    greyzoombil(a.h, b.h, 0.5f, 1);
    // nx = int(3 * 0.5) = 1 column, ny = 2 rows; the rest cleared
    EXPECT_PIXELS(c == 0 && r < 2 ? src[r][0] : 0, b.h);
}

TEST_F(Base, BilinearZoomMatchesFormula) {
    for (Size s : {Size{1, 1}, Size{2, 5}, Size{13, 7}, Size{40, 33}})
        for (int depth : {8, 24})
            for (auto f : {std::pair{1.0f, 1.0f}, {1.7f, 2.3f}, {0.6f, 1.3f}, {3.0f, 0.4f}}) {
                iframe(0, 0, s.w, s.h);
                Img a(depth), b(depth);
                randomize(a.h);
                randomize(b.h);
                if (depth == 8) greyzoombil(a.h, b.h, f.first, f.second);
                else colzoombil(a.h, b.h, f.first, f.second);
                int nx = std::min(s.w, int((s.w - 1) * double(f.first)));
                int ny = std::min(s.h, int((s.h - 1) * double(f.second)));
                for (int r = 0; r < s.h; ++r)
                    for (int k = 0; k < s.w; ++k)
                        for (int ch = 0; ch < (depth == 8 ? 1 : 3); ++ch) {
                            int got = depth == 8 ? get(b.h, k, r) : channel(get(b.h, k, r), ch);
                            if (k >= nx || r >= ny) {
                                ASSERT_EQ(0, got) << k << "," << r;
                            } else {
                                double x = std::min(k / double(f.first), s.w - 1.0);
                                double y = std::min(r / double(f.second), s.h - 1.0);
                                // at the last pixel the right neighbour has weight 0
                                double want = bilinearref(a.h, ch, std::min(x, s.w - 1.000001), std::min(y, s.h - 1.000001));
                                ASSERT_TRUE(truncated(want, got)) << k << "," << r;
                            }
                        }
            }
}

// The bilinear zoom as it was before its vector paths: the separable float
// arithmetic pixel by pixel.
void oldzoombil(int src, int dst, float fx, float fy, int bpp) {
    auto count = [](int size, float f) {
        float n = float(size - 1) * f;
        return n >= float(size) ? size : int(n);
    };
    auto taps = [](int n, float scale, int size) {
        std::vector<std::pair<int, float>> t(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            float p = float(k) / scale;
            int i = std::min(int(std::floor(p)), std::max(size - 2, 0));
            t[k] = {i, p - float(i)};
        }
        return t;
    };
    const size_t stride = bpp == 1 ? ifw_grey : ifw_col;
    auto row = [&](int h, int r) { return imarray[h].data + (bpp == 1 ? size_t(r + 1) * stride + 1 : size_t(r) * stride); };
    std::memset(imarray[dst].data, 0, imarray[dst].nbytes);
    const int nx = count(ifw, fx), ny = count(ifh, fy);
    if (nx == 0 || ny == 0) return;
    auto tx = taps(nx, fx, ifw), ty = taps(ny, fy, ifh);
    for (int r = 0; r < ny; ++r)
        for (int k = 0; k < nx; ++k)
            for (int ch = 0; ch < bpp; ++ch) {
                const uint8_t *q0 = row(src, ty[r].first) + tx[k].first * bpp + ch, *q1 = q0 + stride;
                const float top = float(q0[0]) + float(q0[bpp] - q0[0]) * tx[k].second;
                const float bottom = float(q1[0]) + float(q1[bpp] - q1[0]) * tx[k].second;
                row(dst, r)[k * bpp + ch] = uint8_t(int((bottom - top) * ty[r].second + top));
            }
}

TEST_F(Base, BilinearZoomGivesExactlyTheOldRoutinesPixels) {
    // widths around one vector of eight and the reach of a 16-byte load at
    // the block's end; enlarging factors (shuffled loads), reducing ones
    // (gathers) and factors that switch between the two along a row
    for (Size s : {Size{8, 3}, Size{9, 2}, Size{10, 4}, Size{17, 5}, Size{64, 9}, Size{203, 6}})
        for (int depth : {8, 24})
            for (auto f : {std::pair{2.0f, 2.0f}, {1.7f, 0.9f}, {0.6f, 1.3f}, {4.5f, 1.0f}, {1.0f, 3.0f}, {0.13f, 2.0f}}) {
                iframe(0, 0, s.w, s.h);
                Img a(depth), b(depth), want(depth);
                randomize(a.h);
                randomize(b.h);
                oldzoombil(a.h, want.h, f.first, f.second, depth / 8);
                if (depth == 8) greyzoombil(a.h, b.h, f.first, f.second);
                else colzoombil(a.h, b.h, f.first, f.second);
                ASSERT_EQ(0, std::memcmp(imarray[b.h].data, imarray[want.h].data, imarray[b.h].nbytes))
                    << s.w << "x" << s.h << " depth " << depth << " factors " << f.first << " " << f.second;
            }
}

// Keystone correction from its formula, in double precision.
int trapezoidref(int src, int k, int r, int ch, int v) {
    int b = v >= 0 ? 0 : ifh - 1;
    double t = double(r - b) / (v - b);
    double xs = ((ifw - 1) * 0.5 - k) * t + k;
    int i = int(xs);
    auto p = [&](int c) { return imarray[src].depth == 8 ? get(src, c, r) : channel(get(src, c, r), ch); };
    if (i >= ifw - 1) return p(ifw - 1);
    if (i < 0) return p(0);
    return int(p(i) + 0.5 + (xs - i) * (p(i + 1) - p(i)));
}

TEST_F(Base, TrapezoidMatchesFormula) {
    iframe(10, 20, 17, 9);
    // a line leaning right from bottom to top meets the centre column above the frame
    EXPECT_EQ(-16, trapezoidrow(10, 28, 12, 22));
    EXPECT_EQ(10, trapezoidrow(10, 20, 13, 24));   // 10.67 truncated
    for (int depth : {8, 24})
        for (int v : {-16, 10, 9, -1, 1000}) {
            Img a(depth), b(depth);
            randomize(a.h);
            if (depth == 8) greytrapezoid(a.h, b.h, v);
            else coltrapezoid(a.h, b.h, v);
            int ah = a.h;
            if (depth == 8) EXPECT_PIXELS(trapezoidref(ah, c, r, 0, v), b.h);
            else
                EXPECT_PIXELS(trapezoidref(ah, c, r, 0, v) << 16 | trapezoidref(ah, c, r, 1, v) << 8 |
                                  trapezoidref(ah, c, r, 2, v),
                              b.h);
            // the base row is unchanged
            int base = v >= 0 ? 0 : 8;
            for (int c = 0; c < 17; ++c) EXPECT_EQ(get(a.h, c, base), get(b.h, c, base));
        }
    expectfailure([] { trapezoidrow(20, 0, 20, 50); }, "line has to be declined");
    expectfailure([] { trapezoidrow(10, 20, 20, 22); }, "vanishing point not valide");   // meets inside
    expectfailure([] { trapezoidrow(10, 22, 20, 20); }, "vanishing point not valide");
    Img a(8), b(8);
    expectfailure([&] { greytrapezoid(a.h, b.h, 4); }, "vanishing point not valide");
}

// ============================================================== arithmetic

// Every pixel operator reference: a = result byte, b = operand byte or the
// whole FIXNUM for a grey constant.
enum ArOp { ADD, ADDL, SUB, SUBL };
int arref(ArOp op, int a, long long b, bool image) {
    switch (op) {
    case ADD: return uint8_t(a + b);
    case SUB: return uint8_t(a - b);
    case ADDL: return image ? std::min<long long>(255, a + b) : (a + b < 256 ? uint8_t(a + b) : 255);
    case SUBL: return image ? (a > b ? a - b : 0) : (b < a ? uint8_t(a - b) : 0);
    }
    return -1;
}
void arcall(ArOp op, int depth, int sc, int dst, int mode) {
    static void (*const grey[])(int, int, int) = {greyadd, greyaddl, greysub, greysubl};
    static void (*const col[])(int, int, int) = {coladd, coladdl, colsub, colsubl};
    (depth == 8 ? grey : col)[op](sc, dst, mode);
}

// Expected grey block after a point operation: the run from the first to the
// last pixel (side border bytes included) transformed, the rest unchanged.
std::vector<uint8_t> greyrunexpected(const std::vector<uint8_t> &before, const std::function<int(size_t)> &f) {
    std::vector<uint8_t> e = before;
    size_t start = size_t(ifw) + 3, n = size_t(ifh - 1) * (ifw + 2) + ifw;
    for (size_t i = start; i < start + n; ++i) e[i] = uint8_t(f(i));
    return e;
}

TEST_F(Base, AddAndSubtractWithImagesAndConstants) {
    const int consts[] = {0, 1, 44, 254, 255, 256, 300, -1, -20, -300, INT_MAX, INT_MIN};
    const int colconsts[] = {0, 0x123456, 0xFFFFFF, -1, 0x01FF7F};
    std::vector<Size> all(std::begin(sizes), std::end(sizes));
    for (Size s : all)
        for (ArOp op : {ADD, ADDL, SUB, SUBL}) {
            iframe(0, 0, s.w, s.h);
            Img g(8), g2(8), c(24), c2(24);
            for (int h : {g.h, g2.h, c.h, c2.h}) randomize(h);
            std::vector<uint8_t> a = block(g.h), b = block(g2.h);
            arcall(op, 8, g2.h, g.h, OP_IMAGE);
            EXPECT_EQ(greyrunexpected(a, [&](size_t i) { return arref(op, a[i], b[i], true); }), block(g.h)) << op;
            for (int k : consts) {
                a = block(g.h);
                arcall(op, 8, k, g.h, OP_CONST);
                EXPECT_EQ(greyrunexpected(a, [&](size_t i) { return arref(op, a[i], k, false); }), block(g.h))
                    << op << " constant " << k;
            }
            std::vector<uint8_t> ca = block(c.h), cb = block(c2.h);
            arcall(op, 24, c2.h, c.h, OP_IMAGE);
            for (size_t i = 0; i < ca.size(); ++i) ca[i] = uint8_t(arref(op, ca[i], cb[i], true));
            EXPECT_EQ(ca, block(c.h));
            for (int k : colconsts) {
                ca = block(c.h);
                arcall(op, 24, k, c.h, OP_CONST);
                for (size_t i = 0; i < ca.size(); ++i) ca[i] = uint8_t(arref(op, ca[i], channel(k, i % 3), true));
                EXPECT_EQ(ca, block(c.h)) << op << " colour constant " << k;
            }
        }
}

TEST_F(Base, AddOfLargeGreyImages) {
    iframe(0, 0, 4096, 4096);
    Img a(8), b(8);
    randomize(a.h);
    randomize(b.h);
    std::vector<uint8_t> before = block(a.h), other = block(b.h);
    greyaddl(b.h, a.h, OP_IMAGE);
    EXPECT_EQ(greyrunexpected(before, [&](size_t i) { return std::min(255, before[i] + other[i]); }), block(a.h));
}

TEST_F(Base, MultiplyAndDivideWithFactor) {
    iframe(0, 0, 19, 6);
    Img g(8), g2(8), c(24), c2(24);
    auto multl = [](int a, long long b, int f) { long long r = a * b / f; return r > 255 ? 255 : int(uint8_t(r)); };
    auto div = [](int a, long long b, int f) { long long p = (long long)a * f; return int(uint8_t(b ? p / b : p)); };
    for (int fact : {1, 3, 255, -2}) {
        for (int h : {g.h, g2.h, c.h, c2.h}) randomize(h);
        for (int i = 0; i < 20; ++i) set(g2.h, i % 19, i % 6, 0);   // some zero divisors
        std::vector<uint8_t> a = block(g.h), b = block(g2.h);
        greymultl(g2.h, g.h, fact, OP_IMAGE);
        EXPECT_EQ(greyrunexpected(a, [&](size_t i) { return multl(a[i], b[i], fact); }), block(g.h));
        a = block(g.h);
        greydiv(g2.h, g.h, fact, OP_IMAGE);
        EXPECT_EQ(greyrunexpected(a, [&](size_t i) { return div(a[i], b[i], fact); }), block(g.h));
        for (int k : {2, -3, 1000, 0}) {
            a = block(g.h);
            greymultl(k, g.h, fact, OP_CONST);
            EXPECT_EQ(greyrunexpected(a, [&](size_t i) { return multl(a[i], k, fact); }), block(g.h));
            if (k == 0) continue;
            a = block(g.h);
            greydiv(k, g.h, fact, OP_CONST);
            EXPECT_EQ(greyrunexpected(a, [&](size_t i) { return div(a[i], k, fact); }), block(g.h));
        }
        std::vector<uint8_t> ca = block(c.h), cb = block(c2.h);
        colmultl(c2.h, c.h, fact, OP_IMAGE);
        for (size_t i = 0; i < ca.size(); ++i) ca[i] = uint8_t(multl(ca[i], cb[i], fact));
        EXPECT_EQ(ca, block(c.h));
        ca = block(c.h);
        coldiv(0x030105, c.h, fact, OP_CONST);
        for (size_t i = 0; i < ca.size(); ++i) ca[i] = uint8_t(div(ca[i], channel(0x030105, i % 3), fact));
        EXPECT_EQ(ca, block(c.h));
    }
    expectfailure([&] { greymultl(g2.h, g.h, 0, OP_IMAGE); }, "multl, fact!=0");
    expectfailure([&] { colmultl(5, c.h, 0, OP_CONST); }, "multl, fact!=0");
    expectfailure([&] { greydiv(0, g.h, 1, OP_CONST); }, "div, division by 0");
    expectfailure([&] { coldiv(65537, c.h, 1, OP_CONST); }, "div, division by 0");
}

TEST_F(Base, SupAndInfPerType) {
    for (Size s : sizes)
        for (int depth : depths) {
            iframe(0, 0, s.w, s.h);
            Img a(depth), b(depth);
            randomize(a.h);
            randomize(b.h);
            std::vector<uint8_t> x = block(a.h), y = block(b.h), e = x;
            if (depth == 1) {
                binsup(b.h, a.h);
                for (size_t i = 0; i < e.size(); ++i) e[i] = x[i] | y[i];
                EXPECT_EQ(e, block(a.h));
                x = block(a.h);
                bininf(b.h, a.h);
                for (size_t i = 0; i < e.size(); ++i) e[i] = x[i] & y[i];
                EXPECT_EQ(e, block(a.h));
            } else if (depth == 8) {
                greysup(b.h, a.h);
                EXPECT_EQ(greyrunexpected(x, [&](size_t i) { return std::max(x[i], y[i]); }), block(a.h));
                x = block(a.h);
                greyinf(b.h, a.h);
                EXPECT_EQ(greyrunexpected(x, [&](size_t i) { return std::min(x[i], y[i]); }), block(a.h));
            } else {
                colsup(b.h, a.h);
                for (size_t i = 0; i < e.size(); ++i) e[i] = std::max(x[i], y[i]);
                EXPECT_EQ(e, block(a.h));
                x = block(a.h);
                colinf(b.h, a.h);
                for (size_t i = 0; i < e.size(); ++i) e[i] = std::min(x[i], y[i]);
                EXPECT_EQ(e, block(a.h));
            }
        }
}

TEST_F(Base, SupOfLargeBinaryImagesIsTheUnionOfPixels) {
    iframe(0, 0, 4093, 4096);
    Img a(1), b(1), keep(1);
    randomize(a.h);
    randomize(b.h);
    bincopy(a.h, keep.h);
    binsup(b.h, a.h);
    EXPECT_PIXELS(get(keep.h, c, r) | get(b.h, c, r), a.h);
    bininf(keep.h, a.h);
    EXPECT_PIXELS(get(keep.h, c, r), a.h);   // (x | y) & x = x
}

TEST_F(Base, MaskCopiesWhereTheMaskIsSet) {
    for (int w : {1, 7, 8, 9, 17, 64, 70})
        for (int depth : {8, 24})
            for (int mode : {OP_IMAGE, OP_CONST}) {
                iframe(0, 0, w, 5);
                Img src(depth), m(1), dst(depth);
                for (int h : {src.h, m.h, dst.h}) randomize(h);
                std::vector<uint8_t> before = block(dst.h);
                const int k = depth == 8 ? 0x1C5 : 0x7A8B9C;   // grey takes the low byte
                if (depth == 8) greymask(mode == OP_IMAGE ? src.h : k, m.h, dst.h, mode);
                else colmask(mode == OP_IMAGE ? src.h : k, m.h, dst.h, mode);
                int srch = src.h, mh = m.h;
                Img old(depth);
                std::memcpy(imarray[old.h].data, before.data(), before.size());
                int oh = old.h;
                SCOPED_TRACE(testing::Message() << "width " << w << " depth " << depth << " mode " << mode);
                EXPECT_PIXELS(get(mh, c, r) ? (mode == OP_IMAGE ? get(srch, c, r) : (depth == 8 ? 0xC5 : k))
                                            : get(oh, c, r),
                              dst.h);
                if (depth == 8) {   // the hidden border is not touched
                    std::vector<uint8_t> after = block(dst.h);
                    for (int r = 0; r < 7; ++r)
                        for (int c : {0, w + 1}) EXPECT_EQ(before[r * (w + 2) + c], after[r * (w + 2) + c]);
                }
            }
}

TEST_F(Base, CombineRoundsAndLimits) {
    iframe(0, 0, 23, 4);
    Img g(8), g2(8), c(24), c2(24);
    auto ref = [](float f1, int a, float f2, int b) {   // computed in float
        float v = f1 * float(a) + f2 * float(b) + 0.5f;
        return v < 0 ? 0 : v > 255 ? 255 : int(v);
    };
    for (auto f : {std::pair{0.5f, 0.5f}, {1.5f, -0.7f}, {-1.0f, 0.0f}, {2.0f, 2.0f}, {0.25f, 0.75f}}) {
        for (int h : {g.h, g2.h, c.h, c2.h}) randomize(h);
        std::vector<uint8_t> a = block(g2.h), d = block(g.h);
        greycombine(f.first, g2.h, f.second, g.h);
        EXPECT_EQ(greyrunexpected(d, [&](size_t i) { return ref(f.first, a[i], f.second, d[i]); }), block(g.h));
        std::vector<uint8_t> ca = block(c2.h), cd = block(c.h);
        colcombine(f.first, c2.h, f.second, c.h);
        for (size_t i = 0; i < cd.size(); ++i) cd[i] = uint8_t(ref(f.first, ca[i], f.second, cd[i]));
        EXPECT_EQ(cd, block(c.h));
    }
}

}  // namespace
