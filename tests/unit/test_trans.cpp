// Point and neighbourhood transforms, each checked against a plain per-pixel
// reference written here from the operators' definitions, on random images
// of awkward sizes (single pixels, single rows and columns, widths around
// multiples of 8 and 64, one 4096 x 4096 case) and every mask value.
#include <gtest/gtest.h>

#include "tests/unit/imatest.h"
#include "image/intern.h"
#include "image/trans.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Frame-relative pixel access: BIN 0/1, GREY byte.
int px(int h, int c, int r) {
    const s_image &im = imarray[h];
    if (im.depth == 1) return (im.data[r * ((im.w + 7) / 8) + c / 8] >> (c % 8)) & 1;
    return im.data[(r + 1) * (im.w + 2) + c + 1];
}
void setpx(int h, int c, int r, int v) {
    const s_image &im = imarray[h];
    if (im.depth == 1) {
        uint8_t &b = im.data[r * ((im.w + 7) / 8) + c / 8];
        b = uint8_t(v ? b | (1 << (c % 8)) : b & ~(1 << (c % 8)));
    } else {
        im.data[(r + 1) * (im.w + 2) + c + 1] = uint8_t(v);
    }
}

struct Size {
    int w, h;
};
constexpr Size sizes[] = {{1, 1}, {1, 9}, {9, 1}, {13, 7}, {8, 3}, {64, 5}, {65, 4}, {130, 3}, {7, 70}, {67, 33}};

// Offsets of the mask bits 0..8.
constexpr int sedx[9] = {0, 1, 1, 0, -1, -1, -1, 0, 1};
constexpr int sedy[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};

class Trans : public ImageTest {
protected:
    Trans() : ImageTest(4242) {}
    void SetUp() override {
        ImageTest::SetUp();
        imainit();
    }
    // Random grey image with only a few distinct values (ties matter).
    void randomlevels(int h, int levels) {
        randomize(h);
        for (int r = 0; r < ifh; ++r)
            for (int c = 0; c < ifw; ++c) setpx(h, c, r, int(rng() % levels) * (255 / std::max(1, levels - 1)));
    }
};

// Compares every frame pixel of img with want(c, r); reports the first few
// differences with the context given.
template <class F>
void expectframe(int img, F want, const std::string &what) {
    int bad = 0;
    for (int r = 0; r < ifh && bad < 3; ++r)
        for (int c = 0; c < ifw && bad < 3; ++c) {
            int expected = want(c, r), got = px(img, c, r);
            if (expected != got) {
                ++bad;
                ADD_FAILURE() << what << ": pixel (" << c << "," << r << ") got " << got << " want " << expected;
            }
        }
}

// ----------------------------------------------------------- references
// Minimum (maximum) over the mask, outside the frame neutral.
int refnbh(int src, int c, int r, int se, bool minimum, int neutral) {
    int acc = neutral;
    for (int k = 0; k < 9; ++k) {
        if (!((se >> k) & 1)) continue;
        int x = c + sedx[k], y = r + sedy[k];
        int v = (x < 0 || y < 0 || x >= ifw || y >= ifh) ? neutral : px(src, x, y);
        acc = minimum ? std::min(acc, v) : std::max(acc, v);
    }
    return acc;
}

// The digital line of the line operators, traced from the formulas.
struct RefLine {
    bool vertical;
    int n, m, half;
    std::vector<int> off;
};
RefLine refline(float angle, int size) {
    RefLine L;
    int q = int(angle) / 180;
    float a = angle - 180.0f * float(q);
    if (a < -90) a += 180;
    if (a > 90) a -= 180;
    float ap = a;
    L.vertical = a > 45 || a < -45;
    if (a > 45) ap = 90 - a;
    if (a < -45) ap = -90 - a;
    L.n = L.vertical ? ifh : ifw;
    L.m = L.vertical ? ifw : ifh;
    float rad = float(ap * M_PI / 180);
    float t = std::tan(rad);
    int sign = t >= 0 ? 1 : -1;
    int k = int((2 * size + 1) * std::cos(rad));
    if (k % 2 == 0) ++k;
    L.half = k / 2;
    double acc = 0;
    int offset = 0;
    for (int i = 0; i < L.n; ++i) {
        L.off.push_back(offset);
        acc += t;
        if (std::fabs(acc) >= 1) {
            offset += sign;
            acc -= sign;
        }
    }
    return L;
}

// Direct maximum (minimum) over the clipped window along the pixel's line.
int reflinepixel(const RefLine &L, int src, int c, int r, bool dilate) {
    int i = L.vertical ? r : c, cross = L.vertical ? c : r;
    int shift = cross - L.off[i];
    int acc = dilate ? 0 : 255;
    for (int j = std::max(0, i - L.half); j <= std::min(L.n - 1, i + L.half); ++j) {
        int cj = shift + L.off[j];
        if (cj < 0 || cj >= L.m) continue;
        int v = L.vertical ? px(src, cj, j) : px(src, j, cj);
        acc = dilate ? std::max(acc, v) : std::min(acc, v);
    }
    return acc;
}

// Chessboard distance by repeated relaxation from the zero pixels and the
// border ring (value outside), saturating at 255.
std::vector<int> refdistance(int grey01, int outside) {
    const int W = ifw + 2, H = ifh + 2;
    std::vector<int> d(size_t(W) * H, 1 << 20);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool border = x == 0 || y == 0 || x == W - 1 || y == H - 1;
            if (border) d[y * W + x] = outside;
            else if (px(grey01, x - 1, y - 1) == 0) d[y * W + x] = 0;
        }
    for (bool changed = true; changed;) {
        changed = false;
        for (int y = 1; y < H - 1; ++y)
            for (int x = 1; x < W - 1; ++x)
                for (int k = 1; k < 9; ++k) {
                    int v = d[(y + sedy[k]) * W + x + sedx[k]] + 1;
                    if (v < d[y * W + x]) {
                        d[y * W + x] = v;
                        changed = true;
                    }
                }
    }
    for (int &v : d) v = std::min(v, 255);
    return d;
}

// ==================================================== point conversions

TEST_F(Trans, BinaryGreyConversionsAndThresholdsMatchPixelwiseDefinition) {
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img b(1), g(8), back(1), t(1);
        randomize(b.h);
        randomlevels(g.h, 5);
        bingrey(b.h, g.h);
        expectframe(g.h, [&](int c, int r) { return px(b.h, c, r); }, "bingrey");
        randomize(g.h);
        randomize(back.h);
        greybin(g.h, back.h);
        expectframe(back.h, [&](int c, int r) { return px(g.h, c, r) != 0; }, "greybin");
        // padding bits are cleared
        if (s.w % 8) {
            for (int r = 0; r < s.h; ++r) EXPECT_EQ(0, imarray[back.h].data[r * ifw_bin + ifw_bin - 1] >> (s.w % 8));
        }
        for (auto range : {std::pair{0, 255}, {0, 0}, {255, 255}, {17, 200}, {100, 100}}) {
            int lo = range.first, hi = range.second;   // lambdas capture variables, not bindings
            randomize(t.h);
            thresh(g.h, t.h, lo, hi);
            expectframe(t.h, [&](int c, int r) { int v = px(g.h, c, r); return v >= lo && v <= hi; }, "thresh");
        }
    }
}

TEST_F(Trans, FirstPointIgnoresPaddingAndFindsRasterFirst) {
    frames(3, 4, 13, 5);
    Img b(1);
    std::memset(imarray[b.h].data, 0, imarray[b.h].nbytes);
    // padding bits of every row set: still no pixel
    for (int r = 0; r < 5; ++r) imarray[b.h].data[r * 2 + 1] = 0xE0;
    int x = -1, y = -1;
    EXPECT_EQ(0, fpoint(b.h, &x, &y));
    setpx(b.h, 12, 2, 1);
    setpx(b.h, 3, 3, 1);
    ASSERT_EQ(1, fpoint(b.h, &x, &y));
    EXPECT_EQ(12, x);
    EXPECT_EQ(2, y);
}

TEST_F(Trans, InversionComplementsFramePixels) {
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img b(1), g(8), c(24);
        randomize(b.h);
        randomize(g.h);
        randomize(c.h);
        std::vector<uint8_t> bb(imarray[b.h].data, imarray[b.h].data + imarray[b.h].nbytes);
        std::vector<uint8_t> gb(imarray[g.h].data, imarray[g.h].data + imarray[g.h].nbytes);
        std::vector<uint8_t> cb(imarray[c.h].data, imarray[c.h].data + imarray[c.h].nbytes);
        bininvert(b.h);
        greyinvert(g.h);
        colinvert(c.h);
        for (size_t i = 0; i < bb.size(); ++i) ASSERT_EQ(uint8_t(~bb[i]), imarray[b.h].data[i]);
        for (size_t i = 0; i < cb.size(); ++i) ASSERT_EQ(255 - cb[i], imarray[c.h].data[i]);
        expectframe(g.h, [&](int x, int y) { return 255 - gb[(y + 1) * (s.w + 2) + x + 1]; }, "greyinvert");
    }
}

// ============================================== 3x3 neighbourhoods

TEST_F(Trans, BinaryShiftOneMovesEachDirectionWithFill) {
    const int dirdx[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1}, dirdy[9] = {0, 0, -1, -1, -1, 0, 1, 1, 1};
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img a(1), d(1);
        for (int dir = 1; dir <= 8; ++dir)
            for (int fill = 0; fill <= 1; ++fill)
                for (bool inplace : {false, true}) {
                    randomize(a.h);
                    randomize(d.h);
                    std::vector<uint8_t> src(imarray[a.h].data, imarray[a.h].data + imarray[a.h].nbytes);
                    auto srcpx = [&](int c, int r) { return (src[r * ifw_bin + c / 8] >> (c % 8)) & 1; };
                    int out = inplace ? a.h : d.h;
                    r_binshiftone(a.h, out, dir, fill);
                    expectframe(out, [&](int c, int r) {
                        int x = c + dirdx[dir], y = r + dirdy[dir];
                        return (x < 0 || y < 0 || x >= ifw || y >= ifh) ? fill : srcpx(x, y);
                    }, "shift dir " + std::to_string(dir));
                }
        // any other direction does nothing
        randomize(d.h);
        std::vector<uint8_t> before(imarray[d.h].data, imarray[d.h].data + imarray[d.h].nbytes);
        r_binshiftone(a.h, d.h, 9, 1);
        r_binshiftone(a.h, d.h, 0, 1);
        EXPECT_EQ(before, std::vector<uint8_t>(imarray[d.h].data, imarray[d.h].data + imarray[d.h].nbytes));
    }
}

TEST_F(Trans, BinaryNeighbourhoodEveryMaskMatchesReference) {
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img a(1), tmp(1), d(1);
        for (int se = 0; se < 512; ++se) {
            randomize(a.h);
            // bits above 8 are ignored
            int arg = se | (se & 1 ? 1 << 12 : 0);
            bininfnbh(a.h, tmp.h, d.h, arg);
            expectframe(d.h, [&](int c, int r) { return refnbh(a.h, c, r, se, true, 1); }, "bininfnbh " + std::to_string(se));
            binsupnbh(a.h, tmp.h, d.h, arg);
            expectframe(d.h, [&](int c, int r) { return refnbh(a.h, c, r, se, false, 0); }, "binsupnbh " + std::to_string(se));
            if (HasFailure()) return;
        }
    }
}

TEST_F(Trans, GreyNeighbourhoodEveryMaskMatchesReference) {
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img a(8), d(8);
        for (int se = 0; se < 512; ++se) {
            randomize(a.h);
            greyinfnbh(a.h, d.h, se);
            expectframe(d.h, [&](int c, int r) { return refnbh(a.h, c, r, se, true, 255); }, "greyinfnbh " + std::to_string(se));
            greysupnbh(a.h, d.h, se);
            expectframe(d.h, [&](int c, int r) { return refnbh(a.h, c, r, se, false, 0); }, "greysupnbh " + std::to_string(se));
            if (HasFailure()) return;
        }
    }
}

TEST_F(Trans, GreyNeighbourhoodInPlaceAndBorderNeutral) {
    frames(0, 0, 37, 11);
    Img a(8), ref(8);
    for (int se : {511, 171, 2, 257}) {
        randomize(a.h);
        std::memcpy(imarray[ref.h].data, imarray[a.h].data, imarray[a.h].nbytes);
        greysupnbh(a.h, a.h, se);
        expectframe(a.h, [&](int c, int r) { return refnbh(ref.h, c, r, se, false, 0); }, "in place");
        // the result's border ring is the neutral value
        for (int x = 0; x < ifw_grey; ++x) EXPECT_EQ(0, imarray[a.h].data[x]);
    }
}

TEST_F(Trans, DirectionPassesInPlaceGiveTheSquare) {
    // The square as an east-west pass into a copy, then a south-north pass of
    // that result into itself.
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img a(8), d(8), ref(8);
        randomize(a.h);
        greyset(d.h, 255);
        std::memset(imarray[a.h].data, 255, ifw_grey);   // neutral top and bottom
        std::memset(imarray[a.h].data + size_t(ifh + 1) * ifw_grey, 255, ifw_grey);
        for (int r = 0; r <= ifh + 1; ++r) {
            imarray[a.h].data[r * ifw_grey] = 255;
            imarray[a.h].data[r * ifw_grey + ifw + 1] = 255;
        }
        std::memcpy(imarray[d.h].data, imarray[a.h].data, imarray[a.h].nbytes);
        r_greyinfnbh(a.h, d.h, 34);
        r_greyinfnbh(d.h, d.h, 136);
        expectframe(d.h, [&](int c, int r) { return refnbh(a.h, c, r, 511, true, 255); }, "passes");
    }
}

TEST_F(Trans, LargeFrameNeighbourhoods) {
    frames(0, 0, 4096, 4096);
    Img g(8), gd(8), b(1), bd(1);
    randomize(g.h);
    randomize(b.h);
    for (int se : {511, 171}) {
        greyinfnbh(g.h, gd.h, se);
        expectframe(gd.h, [&](int c, int r) { return refnbh(g.h, c, r, se, true, 255); }, "grey 4096");
        binsupnbh(b.h, bd.h, bd.h, se);
        expectframe(bd.h, [&](int c, int r) { return refnbh(b.h, c, r, se, false, 0); }, "bin 4096");
    }
}

// ===================================================== line segments

TEST_F(Trans, LineOperatorsMatchDirectWindowAtManyAngles) {
    const float angles[] = {0, 180, 90, -90, 45, -45, 46, -46, 30, -30, 60, 135, 10.5f, -170, 720, 400, 1, 89};
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img a(8), d(8);
        for (float angle : angles)
            for (int size : {0, 1, 2, 5, 40}) {
                randomize(a.h);
                RefLine L = refline(angle, size);
                greylindilation(a.h, d.h, angle, size);
                expectframe(d.h, [&](int c, int r) { return reflinepixel(L, a.h, c, r, true); },
                            "lindilation " + std::to_string(angle) + " " + std::to_string(size));
                greylinerosion(a.h, d.h, angle, size);
                expectframe(d.h, [&](int c, int r) { return reflinepixel(L, a.h, c, r, false); },
                            "linerosion " + std::to_string(angle) + " " + std::to_string(size));
                if (HasFailure()) return;
            }
    }
}

TEST_F(Trans, HorizontalLinesOfEveryShortWindowMatchDirectWindow) {
    // windows of 1 to 67 pixels, on both sides of the switch from the
    // doubling passes to the running extrema, and wider than the frame
    for (Size s : {Size{37, 5}, Size{7, 3}, Size{16, 2}, Size{200, 2}}) {
        frames(0, 0, s.w, s.h);
        Img a(8), d(8);
        for (float angle : {0.0f, 180.0f})
            for (int size = 0; size <= 33; ++size) {
                randomize(a.h);
                RefLine L = refline(angle, size);
                greylindilation(a.h, d.h, angle, size);
                expectframe(d.h, [&](int c, int r) { return reflinepixel(L, a.h, c, r, true); },
                            "lindilation " + std::to_string(s.w) + " size " + std::to_string(size));
                greylinerosion(a.h, d.h, angle, size);
                expectframe(d.h, [&](int c, int r) { return reflinepixel(L, a.h, c, r, false); },
                            "linerosion " + std::to_string(s.w) + " size " + std::to_string(size));
                if (HasFailure()) return;
            }
    }
}

TEST_F(Trans, LineShapesOfASinglePixel) {
    frames(0, 0, 11, 11);
    Img a(8), d(8);
    greyset(a.h, 0);
    setpx(a.h, 5, 5, 200);
    auto lit = [&](std::vector<std::pair<int, int>> want) {
        for (int r = 0; r < 11; ++r)
            for (int c = 0; c < 11; ++c) {
                bool on = std::find(want.begin(), want.end(), std::pair{c, r}) != want.end();
                EXPECT_EQ(on ? 200 : 0, px(d.h, c, r)) << c << "," << r;
            }
    };
    greylindilation(a.h, d.h, 0, 1);
    lit({{4, 5}, {5, 5}, {6, 5}});
    greylindilation(a.h, d.h, 90, 2);
    lit({{5, 3}, {5, 4}, {5, 5}, {5, 6}, {5, 7}});
    greylindilation(a.h, d.h, 45, 1);   // window trunc(3 cos 45) = 2, made odd: 3
    lit({{4, 4}, {5, 5}, {6, 6}});
    greylindilation(a.h, d.h, 0, 0);
    lit({{5, 5}});
}

TEST_F(Trans, LongRowsInPiecesMatchDirectWindow) {
    frames(0, 0, 2500, 3);
    Img a(8), d(8);
    for (int size : {40, 600, 3000}) {
        randomize(a.h);
        RefLine L = refline(0, size);
        greylindilation(a.h, d.h, 0, size);
        expectframe(d.h, [&](int c, int r) { return reflinepixel(L, a.h, c, r, true); }, "pieces " + std::to_string(size));
    }
}

TEST_F(Trans, LargeFrameLines) {
    frames(0, 0, 4096, 4096);
    Img a(8), d(8);
    randomize(a.h);
    for (float angle : {0.0f, 100.0f}) {
        RefLine L = refline(angle, 3);
        greylinerosion(a.h, d.h, angle, 3);
        expectframe(d.h, [&](int c, int r) { return reflinepixel(L, a.h, c, r, false); }, "4096 line");
    }
}

// ============================================= tables, dither, distance

TEST_F(Trans, AnamorphMapsFramePixels) {
    frames(0, 0, 21, 6);
    Img g(8);
    randomize(g.h);
    std::vector<uint8_t> before(imarray[g.h].data, imarray[g.h].data + imarray[g.h].nbytes);
    unsigned char lut[256];
    for (int i = 0; i < 256; ++i) lut[i] = uint8_t((i * 7 + 3) % 256);
    anamorph(g.h, lut);
    expectframe(g.h, [&](int c, int r) { return lut[before[(r + 1) * 23 + c + 1]]; }, "anamorph");
}

TEST_F(Trans, DitherThresholdsOfTheTwoAndFourMatrices) {
    frames(0, 0, 13, 9);
    Img g(8), b(1);
    const int m2[2][2] = {{51, 153}, {204, 102}};
    const int e4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int k = 0; k < 20; ++k) {
        randomize(g.h);
        bitmap(g.h, b.h, 2);
        expectframe(b.h, [&](int c, int r) { return px(g.h, c, r) > m2[r % 2][c % 2]; }, "bitmap 2");
        bitmap(g.h, b.h, 4);
        expectframe(b.h, [&](int c, int r) { return px(g.h, c, r) > int((e4[r % 4][c % 4] + 1) * 255.0 / 17); }, "bitmap 4");
    }
    // 128 sets the two pixels of each 2 x 2 cell that carry 51 and 102
    greyset(g.h, 128);
    bitmap(g.h, b.h, 2);
    expectframe(b.h, [&](int c, int r) { return (r % 2) == (c % 2); }, "bitmap 128");
}

TEST_F(Trans, DitherOfLargerMatricesUsesEveryThresholdOnce) {
    for (int n : {8, 16}) {
        frames(0, 0, n, n);
        Img g(8), b(1);
        for (int v = 0; v < 256; v += 5) {
            greyset(g.h, v);
            bitmap(g.h, b.h, n);
            int set = 0, want = 0;
            for (int r = 0; r < n; ++r)
                for (int c = 0; c < n; ++c) set += px(b.h, c, r);
            for (int e = 0; e < n * n; ++e) want += v > int((e + 1) * 255.0 / (n * n + 1));
            EXPECT_EQ(want, set) << n << " " << v;
        }
    }
    try {
        bitmap(0, 0, 3);
        ADD_FAILURE() << "n = 3 accepted";
    } catch (const ImaFailure &e) {
        EXPECT_STREQ("bitmap gin 1-4", e.what());
    }
}

TEST_F(Trans, DistanceIsChessboardWithBorderValue) {
    for (Size s : sizes) {
        frames(0, 0, s.w, s.h);
        Img g(8);
        for (int outside : {0, 1, 255})
            for (int density : {2, 10, 1000}) {
                randomize(g.h);
                for (int r = 0; r < ifh; ++r)
                    for (int c = 0; c < ifw; ++c) setpx(g.h, c, r, int(rng() % density) != 0);
                std::vector<int> want = refdistance(g.h, outside);
                std::vector<int> obj(size_t(ifw) * ifh);
                for (int r = 0; r < ifh; ++r)
                    for (int c = 0; c < ifw; ++c) obj[r * ifw + c] = px(g.h, c, r);
                distance(g.h, outside);
                expectframe(g.h, [&](int c, int r) { return obj[r * ifw + c] ? want[(r + 1) * (ifw + 2) + c + 1] : 0; },
                            "distance " + std::to_string(outside));
            }
    }
}

TEST_F(Trans, DistanceSaturatesAt255) {
    frames(0, 0, 600, 3);
    Img g(8);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 600; ++c) setpx(g.h, c, r, c != 0);
    distance(g.h, 255);
    EXPECT_EQ(0, px(g.h, 0, 1));
    EXPECT_EQ(1, px(g.h, 1, 1));
    EXPECT_EQ(254, px(g.h, 254, 1));
    EXPECT_EQ(255, px(g.h, 255, 1));
    EXPECT_EQ(255, px(g.h, 599, 2));
}

// =================================================== template search

TEST_F(Trans, SampleSearchFindsPlantedPatchFirstInRasterOrder) {
    frames(0, 0, 40, 30);
    Img g(8);
    randomize(g.h);
    int smp = newimage(100, 100, 5, 4, 8);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) setpx(smp, c, r, px(g.h, 17 + c, 21 + r));
    int x = 0, y = 0, diff = 0;
    ASSERT_EQ(1, getsample(g.h, smp, 0, 0, &x, &y, &diff));
    EXPECT_EQ(17, x);
    EXPECT_EQ(21, y);
    EXPECT_EQ(0, diff);
    // starting after it finds nothing exact
    x = 18, y = 21;
    EXPECT_EQ(0, getsample(g.h, smp, 0, 0, &x, &y, &diff));
    EXPECT_EQ(-1, diff);
    // a generous tolerance accepts the first position, with its sum
    x = 0, y = 0;
    ASSERT_EQ(1, getsample(g.h, smp, 255, 255, &x, &y, &diff));
    EXPECT_EQ(0, x);
    EXPECT_EQ(0, y);
    int sum = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) sum += std::abs(px(g.h, c, r) - px(smp, c, r));
    EXPECT_EQ(sum, diff);
    freeimage(smp);
}

TEST_F(Trans, SampleAsLargeAsImageTestsOnlyTheOrigin) {
    frames(0, 0, 9, 7);
    Img g(8);
    randomize(g.h);
    int smp = newimage(0, 0, 9, 7, 8);
    std::memcpy(imarray[smp].data, imarray[g.h].data, imarray[g.h].nbytes);
    setpx(smp, 8, 6, px(g.h, 8, 6) ^ 1);
    int x = 0, y = 0, diff = 0;
    EXPECT_EQ(0, getsample(g.h, smp, 0, 0, &x, &y, &diff));
    x = y = 0;
    ASSERT_EQ(1, getsample(g.h, smp, 0, 1, &x, &y, &diff));
    EXPECT_EQ(1, diff);
    freeimage(smp);
    // a sample wider than the image finds nothing
    smp = newimage(0, 0, 10, 2, 8);
    randomize(smp);
    x = y = 0;
    EXPECT_EQ(0, getsample(g.h, smp, 255, 255, &x, &y, &diff));
    freeimage(smp);
}

// ============================================================ median

TEST_F(Trans, SortedListInsertsBeforeEqualsAndRemovesFirstMatch) {
    s_slist r[5] = {{5, nullptr}, {3, nullptr}, {5, nullptr}, {9, nullptr}, {1, nullptr}};
    s_slist *head = nullptr;
    for (auto &rec : r) head = median_insert(&rec, head);
    std::vector<s_slist *> order;
    for (s_slist *p = head; p; p = p->next) order.push_back(p);
    // equal values go in front of earlier ones
    EXPECT_EQ((std::vector<s_slist *>{&r[4], &r[1], &r[2], &r[0], &r[3]}), order);
    s_slist *removed = nullptr;
    head = median_remove(5, &removed, head);
    EXPECT_EQ(&r[2], removed);
    head = median_remove(1, &removed, head);
    EXPECT_EQ(&r[4], removed);
    EXPECT_EQ(&r[1], head);
    head = median_remove(7, &removed, head);
    EXPECT_EQ(nullptr, removed);
    int n = 0;
    for (s_slist *p = head; p; p = p->next) ++n;
    EXPECT_EQ(3, n);
}

TEST_F(Trans, MedianMatchesSortedWindowAndZeroesTheEdge) {
    const Size msizes[] = {{3, 3}, {5, 9}, {13, 7}, {21, 21}, {64, 11}, {67, 30}, {130, 9}};
    for (Size s : msizes) {
        frames(0, 0, s.w, s.h);
        Img a(8), d(8);
        for (int size = 1; 2 * size + 1 <= std::min(s.w, s.h) && size <= 10; ++size)
            for (int levels : {3, 256}) {
                randomlevels(a.h, levels);
                randomize(d.h);
                median(a.h, d.h, size);
                expectframe(d.h, [&](int c, int r) {
                    if (c < size || r < size || c >= ifw - size || r >= ifh - size) return 0;
                    std::vector<int> w;
                    for (int y = r - size; y <= r + size; ++y)
                        for (int x = c - size; x <= c + size; ++x) w.push_back(px(a.h, x, y));
                    std::nth_element(w.begin(), w.begin() + w.size() / 2, w.end());
                    return w[w.size() / 2];
                }, "median " + std::to_string(size));
                if (HasFailure()) return;
            }
    }
}

TEST_F(Trans, MedianOfWideFrameAndBadSizes) {
    frames(0, 0, 4096, 7);
    Img a(8), d(8);
    randomize(a.h);
    for (int size : {1, 3}) {
        median(a.h, d.h, size);
        expectframe(d.h, [&](int c, int r) {
            if (c < size || r < size || c >= ifw - size || r >= ifh - size) return 0;
            std::vector<int> w;
            for (int y = r - size; y <= r + size; ++y)
                for (int x = c - size; x <= c + size; ++x) w.push_back(px(a.h, x, y));
            std::nth_element(w.begin(), w.begin() + w.size() / 2, w.end());
            return w[w.size() / 2];
        }, "wide median");
    }
    for (int size : {0, 4}) {
        try {
            median(a.h, d.h, size);
            ADD_FAILURE() << "size " << size << " accepted";
        } catch (const ImaFailure &e) {
            EXPECT_STREQ("median, wrong size", e.what());
        }
    }
}

}  // namespace
