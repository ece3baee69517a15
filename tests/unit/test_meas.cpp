// Measurements checked against per-pixel references over the measure frame,
// on random images with frames away from the origin, measure frames that
// cover part of the image, a single pixel or nothing, and sums beyond
// 32 bits.
#include <gtest/gtest.h>

#include "tests/unit/imatest.h"

#include "image/intern.h"
#include "image/meas.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

struct Rect {
    int x, y, w, h;
};

class Meas : public ImageTest {
protected:
    Meas() : ImageTest(99) {}
    void randomize(Img &a, int levels) {
        for (uint32_t i = 0; i < imarray[a.h].nbytes; ++i) a.d()[i] = uint8_t(rng());
        if (imarray[a.h].depth == 8)
            for (int y = 0; y < ifh; ++y)
                for (int x = 0; x < ifw; ++x) a.at(x, y) = uint8_t(rng() % unsigned(levels));
    }
    // Calls f(x, y) (frame-relative) over the measure frame in raster order.
    template <class F>
    void eachmeasured(F f) {
        for (int y = mfy - ify; y < mfy - ify + mfh; ++y)
            for (int x = mfx - ifx; x < mfx - ifx + mfw; ++x) f(x, y);
    }
};

// Image frames (with origins) and measure frames relative to them.
struct Case {
    Rect image, measure;
};
constexpr Case cases[] = {
    {{0, 0, 1, 1}, {0, 0, 1, 1}},     {{0, 0, 37, 1}, {0, 0, 37, 1}},  {{4, 9, 1, 23}, {4, 9, 1, 23}},
    {{10, 20, 70, 33}, {13, 21, 50, 30}}, {{10, 20, 70, 33}, {79, 52, 1, 1}}, {{10, 20, 70, 33}, {30, 30, 0, 5}},
    {{0, 0, 130, 9}, {3, 2, 120, 5}}, {{5, 5, 64, 64}, {5, 5, 64, 64}}};

TEST_F(Meas, GreyStatisticsSumsAndHistogramMatchReference) {
    for (Case c : cases) {
        frames(c.image.x, c.image.y, c.image.w, c.image.h);
        mframe(c.measure.x, c.measure.y, c.measure.w, c.measure.h);
        for (int levels : {1, 7, 256}) {
            Img g(8), b(1);
            randomize(g, levels);
            randomize(b, 2);
            int lo = 255, hi = 0;
            int64_t sum = 0, bits = 0;
            uint32_t want[256] = {};
            eachmeasured([&](int x, int y) {
                lo = std::min<int>(lo, g.at(x, y));
                hi = std::max<int>(hi, g.at(x, y));
                sum += g.at(x, y);
                ++want[g.at(x, y)];
                bits += b.bit(x, y);
            });
            int glo, ghi;
            double mean;
            greymeas(g.h, &glo, &ghi, &mean);
            EXPECT_EQ(lo, glo);
            EXPECT_EQ(hi, ghi);
            EXPECT_DOUBLE_EQ(mfw > 0 && mfh > 0 ? double(sum) / (double(mfw) * mfh) : 0.0, mean);
            EXPECT_EQ(sum, greysum(g.h));
            EXPECT_EQ(bits, binsum(b.h));
            uint32_t got[256];
            histogram(g.h, got);
            EXPECT_EQ(0, std::memcmp(want, got, sizeof want));
        }
    }
}

TEST_F(Meas, FeaturesMatchReference) {
    for (Case c : cases) {
        frames(c.image.x, c.image.y, c.image.w, c.image.h);
        mframe(c.measure.x, c.measure.y, c.measure.w, c.measure.h);
        for (int labels : {1, 3, 256}) {
            Img lab(8), g(8);
            randomize(lab, labels);
            randomize(g, 256);
            std::vector<s_feature> want(256), got(256);
            auto check = [&](const char *what) {
                for (int l = 0; l < 256; ++l)
                    for (int k = 0; k < 4; ++k)
                        ASSERT_EQ(want[size_t(l)].v[k], got[size_t(l)].v[k]) << what << " label " << l << " field " << k;
            };
            // First point.
            for (auto &f : want) f = {{-1, -1, 0, 0}};
            eachmeasured([&](int x, int y) {
                s_feature &f = want[lab.at(x, y)];
                if (f.v[0] == -1) f.v[0] = x + ifx, f.v[1] = y + ify;
            });
            f_fpoint(lab.h, got.data());
            for (auto &f : got) f.v[2] = f.v[3] = 0;   // unused fields
            check("fpoint");
            // Centre of mass sums, area, volume, grey range, rectangle.
            std::vector<s_feature> mp(256, {{0, 0, 0, 0}}), area(256, {{0, 0, 0, 0}}), vol(256, {{0, 0, 0, 0}}),
                gr(256, {{255, 0, 0, 0}}), rect(256, {{FEAT_NORECT, FEAT_NORECT, 0, 0}});
            eachmeasured([&](int x, int y) {
                const int l = lab.at(x, y), X = x + ifx, Y = y + ify;
                mp[size_t(l)].v[0] += X, mp[size_t(l)].v[1] += Y, ++mp[size_t(l)].v[2];
                ++area[size_t(l)].v[0];
                vol[size_t(l)].v[0] += g.at(x, y);
                gr[size_t(l)].v[0] = std::min<int64_t>(gr[size_t(l)].v[0], g.at(x, y));
                gr[size_t(l)].v[1] = std::max<int64_t>(gr[size_t(l)].v[1], g.at(x, y));
                s_feature &r = rect[size_t(l)];
                r.v[0] = std::min<int64_t>(r.v[0], X), r.v[1] = std::min<int64_t>(r.v[1], Y);
                r.v[2] = std::max<int64_t>(r.v[2], X), r.v[3] = std::max<int64_t>(r.v[3], Y);
            });
            for (auto &r : rect) r.v[2] = r.v[2] - r.v[0] + 1, r.v[3] = r.v[3] - r.v[1] + 1;
            want = mp;
            f_mpoint(lab.h, got.data());
            for (auto &f : got) f.v[3] = 0;
            check("mpoint");
            want = area;
            f_area(lab.h, got.data());
            check("area");
            want = vol;
            f_volume(lab.h, g.h, got.data());
            check("volume");
            want = gr;
            f_grey(lab.h, g.h, got.data());
            for (auto &f : got) f.v[2] = f.v[3] = 0;
            check("grey");
            want = rect;
            f_rect(lab.h, got.data());
            check("rect");
        }
    }
}

TEST_F(Meas, LabelThatDoesNotOccurKeepsStartingValues) {
    frames(0, 0, 4, 4);
    Img lab(8);
    randomize(lab, 1);   // every pixel label 0
    std::vector<s_feature> f(256);
    f_rect(lab.h, f.data());
    EXPECT_EQ(FEAT_NORECT, f[9].v[0]);
    EXPECT_EQ(0 - FEAT_NORECT + 1, f[9].v[2]);
    EXPECT_EQ(4, f[0].v[2]);
    f_fpoint(lab.h, f.data());
    EXPECT_EQ(-1, f[1].v[0]);
    EXPECT_EQ(0, f[0].v[0]);
}

TEST_F(Meas, SumsBeyondThirtyTwoBitsAreExact) {
    frames(0, 0, 4096, 4096);
    Img g(8), lab(8), b(1);
    std::memset(g.d(), 255, imarray[g.h].nbytes);
    std::memset(lab.d(), 0, imarray[lab.h].nbytes);
    std::memset(b.d(), 0xFF, imarray[b.h].nbytes);
    const int64_t n = 4096LL * 4096;
    EXPECT_EQ(255 * n, greysum(g.h));
    EXPECT_EQ(n, binsum(b.h));
    std::vector<s_feature> f(256);
    f_volume(lab.h, g.h, f.data());
    EXPECT_EQ(255 * n, f[0].v[0]);
    f_mpoint(lab.h, f.data());
    EXPECT_EQ(4095 * 4096 / 2 * 4096LL, f[0].v[0]);   // sum of x over every row
    EXPECT_EQ(n, f[0].v[2]);
    EXPECT_EQ(2047, f[0].v[0] / f[0].v[2]);
}

}  // namespace
