// Colour operators checked pixel by pixel against values computed here
// straight from the conversion formulas (floating-point functions per
// pixel instead of the library's tables), the worked examples of the IHS
// coding, and the round trip RGB -> IHS -> RGB.
#include <gtest/gtest.h>

#include "image/color.h"
#include "tests/unit/imatest.h"
#include "image/intern.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

uint8_t *rgbat(int h, int i) { return imarray[h].data + 3 * size_t(i); }
uint8_t &greyat(int h, int i) { return imarray[h].data[(i / ifw + 1) * ifw_grey + i % ifw + 1]; }

struct Ihs {
    int i, h, s;
    bool operator==(const Ihs &) const = default;
};

// The IHS coding of one pixel, from the formulas with acos and sqrt
// evaluated for this pixel alone.
Ihs ihsof(int R, int G, int B) {
    Ihs o;
    o.i = (R + G + B) / 3;
    o.s = o.i == 0 ? 0 : 255 - (255 * std::min({R, G, B})) / o.i;
    int d1 = R - G, d2 = R - B, X = d1 * d1 + d2 * (G - B);
    int q = X >> 6 ? int(65536.0 / std::sqrt(64.0 * (X >> 6) + 0.5)) : 0;
    int t = std::clamp(((d1 + d2) * q) >> 9, -256, 256);
    o.h = int(std::acos(t / 256.0) * 128 / M_PI);
    if (B > G && o.h > 0) o.h = 256 - o.h;
    return o;
}

// RGB of one IHS pixel from the formulas.
void rgbof(int I, int H, int S, int out[3]) {
    int j = H;
    while (j > 85) j -= 85;
    double theta = float(j * M_PI / 128);
    long T = j == 64 ? 262144 : long(255 * std::cos(M_PI / 3 - theta) / std::cos(theta));
    int m = S * I / 255, low = I - m;
    int high = std::min<long>(255, I + (S * I) / T);
    int mid = std::clamp(m + 2 * I - high, 0, 255);
    int r[3][3] = {{high, mid, low}, {low, high, mid}, {mid, low, high}};
    int sector = H <= 85 ? 0 : H <= 170 ? 1 : 2;
    for (int k = 0; k < 3; ++k) out[k] = r[sector][k];
}

class Colour : public ImageTest {
protected:
    Colour() : ImageTest(99) {}
    void SetUp() override {
        ImageTest::SetUp();
        imainit();
    }
};

TEST_F(Colour, TablesHoldTheirDefiningValues) {
    const uint8_t *a = ihsacos();
    EXPECT_EQ(128, a[0]);
    EXPECT_EQ(64, a[256]);
    EXPECT_EQ(0, a[512]);
    EXPECT_EQ(0, ihsinvroot()[0]);
    EXPECT_EQ(8160, ihsinvroot()[1]);   // 65536 / sqrt(64.5)
    EXPECT_EQ(262144, ihsratio()[64]);
    EXPECT_EQ(127, ihsratio()[0]);      // 255 cos(pi/3)
}

TEST_F(Colour, WorkedExamplesOfTheIhsCoding) {
    frames(0, 0, 4, 1);
    Img c(24), o(24);
    const int in[4][3] = {{255, 0, 0}, {100, 100, 100}, {0, 0, 0}, {0, 0, 255}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k) rgbat(c.h, i)[k] = uint8_t(in[i][k]);
    rgbihs(c.h, o.h);
    const int want[3][3] = {{85, 3, 255}, {100, 64, 0}, {0, 64, 0}};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(want[i][k], rgbat(o.h, i)[k]) << i << " " << k;
    // blue lies in the last third of the turn
    EXPECT_GT(rgbat(o.h, 3)[1], 170);
    // zero saturation gives grey whatever the hue
    for (int i = 0; i < 4; ++i) rgbat(c.h, i)[0] = 100, rgbat(c.h, i)[1] = uint8_t(i * 70), rgbat(c.h, i)[2] = 0;
    ihsrgb(c.h, o.h);
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(100, rgbat(o.h, i)[k]);
}

TEST_F(Colour, RgbToIhsMatchesFormulasOnEveryColourSample) {
    frames(0, 0, 4096, 64);   // 262144 pixels: a 64-level grid of the cube
    Img c(24), o(24);
    for (int i = 0; i < 4096 * 64; ++i) {
        uint8_t *p = rgbat(c.h, i);
        p[0] = uint8_t((i >> 12) * 4 + (i & 3));
        p[1] = uint8_t(((i >> 6) & 63) * 4 + ((i >> 2) & 3));
        p[2] = uint8_t((i & 63) * 4 + 3 - (i & 3));
    }
    rgbihs(c.h, o.h);
    int bad = 0;
    for (int i = 0; i < 4096 * 64 && bad < 5; ++i) {
        const uint8_t *p = rgbat(c.h, i), *q = rgbat(o.h, i);
        Ihs want = ihsof(p[0], p[1], p[2]), got{q[0], q[1], q[2]};
        if (!(want == got)) {
            ++bad;
            ADD_FAILURE() << int(p[0]) << "," << int(p[1]) << "," << int(p[2]) << ": got " << got.i << " " << got.h
                          << " " << got.s << " want " << want.i << " " << want.h << " " << want.s;
        }
    }
}

TEST_F(Colour, IhsToRgbMatchesFormulasOnEveryCode) {
    frames(0, 0, 4096, 16);   // every (H, S) with 16 intensities
    Img c(24), o(24);
    for (int i = 0; i < 4096 * 16; ++i) {
        uint8_t *p = rgbat(c.h, i);
        p[0] = uint8_t((i >> 16) * 17);
        p[1] = uint8_t(i >> 8);
        p[2] = uint8_t(i);
    }
    ihsrgb(c.h, o.h);
    int bad = 0;
    for (int i = 0; i < 4096 * 16 && bad < 5; ++i) {
        const uint8_t *p = rgbat(c.h, i), *q = rgbat(o.h, i);
        int want[3];
        rgbof(p[0], p[1], p[2], want);
        if (want[0] != q[0] || want[1] != q[1] || want[2] != q[2]) {
            ++bad;
            ADD_FAILURE() << "IHS " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]) << " got " << int(q[0])
                          << "," << int(q[1]) << "," << int(q[2]) << " want " << want[0] << "," << want[1] << ","
                          << want[2];
        }
    }
}

TEST_F(Colour, RoundTripKeepsIntensityAndGreys) {
    frames(0, 0, 257, 255);
    Img c(24), ihs(24), back(24);
    randomize(c.h);
    for (int i = 0; i < 256; ++i) rgbat(c.h, i)[0] = rgbat(c.h, i)[1] = rgbat(c.h, i)[2] = uint8_t(i);
    rgbihs(c.h, ihs.h);
    ihsrgb(ihs.h, back.h);
    int worst = 0;
    for (int i = 0; i < ifw * ifh; ++i) {
        const uint8_t *p = rgbat(c.h, i), *q = rgbat(back.h, i);
        if (i < 256) {
            for (int k = 0; k < 3; ++k) ASSERT_EQ(i, q[k]) << "grey " << i;
        }
        // the coding keeps the sum of the channels up to the truncations
        int before = p[0] + p[1] + p[2], after = q[0] + q[1] + q[2];
        worst = std::max(worst, std::abs(before / 3 - after / 3));
    }
    EXPECT_LE(worst, 3);
}

TEST_F(Colour, SplitMergeIntensityAndDistances) {
    frames(0, 0, 29, 13);
    Img c(24), r(8), g(8), b(8), m(24), gi(8);
    randomize(c.h);
    randomize(r.h);
    std::vector<uint8_t> border(imarray[r.h].data, imarray[r.h].data + ifw_grey);
    colgrey(c.h, r.h, g.h, b.h);
    EXPECT_EQ(border, std::vector<uint8_t>(imarray[r.h].data, imarray[r.h].data + ifw_grey));   // border untouched
    greycol(r.h, g.h, b.h, m.h);
    EXPECT_EQ(0, std::memcmp(imarray[c.h].data, imarray[m.h].data, imarray[c.h].nbytes));
    intensity(c.h, gi.h);
    for (int i = 0; i < ifw * ifh; ++i) {
        const uint8_t *p = rgbat(c.h, i);
        ASSERT_EQ(greyat(r.h, i), p[0]);
        ASSERT_EQ(greyat(g.h, i), p[1]);
        ASSERT_EQ(greyat(b.h, i), p[2]);
        ASSERT_EQ((p[0] + p[1] + p[2]) / 3, greyat(gi.h, i));
    }
    const int ref = 0x4080C0;
    colsphere(c.h, gi.h, ref);
    for (int i = 0; i < ifw * ifh; ++i) {
        const uint8_t *p = rgbat(c.h, i);
        double d = std::sqrt(std::pow(p[0] - 0x40, 2) + std::pow(p[1] - 0x80, 2) + std::pow(p[2] - 0xC0, 2));
        ASSERT_EQ(std::min(255, int(d) / 2), greyat(gi.h, i));
    }
    colcone(c.h, gi.h, ref);
    for (int i = 0; i < ifw * ifh; ++i) {
        const uint8_t *p = rgbat(c.h, i);
        int dot = p[0] * 0x40 + p[1] * 0x80 + p[2] * 0xC0;
        int want = 255;
        if (dot) {
            double k = (0x40 * 0x40 + 0x80 * 0x80 + 0xC0 * 0xC0) / double(dot);
            double d = std::sqrt(std::pow(p[0] * k - 0x40, 2) + std::pow(p[1] * k - 0x80, 2) + std::pow(p[2] * k - 0xC0, 2));
            want = std::min(255, int(d) / 2);
        }
        ASSERT_EQ(want, greyat(gi.h, i));
    }
}

TEST_F(Colour, DistanceEdgeCases) {
    frames(0, 0, 4, 1);
    Img c(24), g(8);
    const int px[4] = {0x000000, 0xFFFFFF, 0x204060, 0x00FF00};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k) rgbat(c.h, i)[k] = uint8_t(px[i] >> (16 - 8 * k));
    colsphere(c.h, g.h, 0xFFFFFF);
    EXPECT_EQ(220, greyat(g.h, 0));   // sqrt(3 * 255^2) / 2
    EXPECT_EQ(0, greyat(g.h, 1));
    colcone(c.h, g.h, 0x102030);
    EXPECT_EQ(255, greyat(g.h, 0));   // black
    EXPECT_EQ(0, greyat(g.h, 2));     // a multiple of the reference
    colcone(c.h, g.h, 0xFF0000);
    EXPECT_EQ(255, greyat(g.h, 3));   // orthogonal
}

}  // namespace
