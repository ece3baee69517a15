// Camera module utilities (option strings, byte swapping, demosaicking,
// clock) and the host's camera-module loader with the simulated camera.
#include "image/camera.h"
#include "camera/cutil.h"
#include "tests/unit/imatest.h"
#include "image/intern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// ------------------------------------------------------------ option strings
TEST(CutilOptions, NoOptions) {
    EXPECT_EQ(optp(nullptr), 0);
    EXPECT_EQ(optp(""), 0);
    EXPECT_EQ(optp(" \t\n\v\f\r"), 0);
    EXPECT_EQ(optp(" x "), 1);
    int v = 7;
    EXPECT_EQ(opt2i(nullptr, "Width", &v), 0);
    EXPECT_EQ(opt2i("   ", "Width", &v), 0);
    EXPECT_EQ(v, 7);
}

TEST(CutilOptions, KeyMatchingRules) {
    int v = -5;
    EXPECT_EQ(opt2i("Width=640", "width", &v), 1);
    EXPECT_EQ(v, 640);
    EXPECT_EQ(opt2i("Height=2\tWIDTH=33 X=1", "width", &v), 1);
    EXPECT_EQ(v, 33);
    v = -5;
    // a blank before the '=', a missing value, no '=' at all
    EXPECT_EQ(opt2i("Width =640", "Width", &v), 0);
    EXPECT_EQ(opt2i("Width=", "Width", &v), 0);
    EXPECT_EQ(opt2i("Width", "Width", &v), 0);
    EXPECT_EQ(opt2i("Widths=3", "Width", &v), 0);
    // only the first occurrence counts, even when it lies inside a word
    EXPECT_EQ(opt2i("XWidth=1 Width=2", "Width", &v), 0);
    EXPECT_EQ(opt2i("Width=1 Width=2", "Width", &v), 1);
    EXPECT_EQ(v, 1);
    v = -5;
    // a key that is a prefix of another key found first
    EXPECT_EQ(opt2i("OffsetXY=4 OffsetX=5", "OffsetX", &v), 0);
    EXPECT_EQ(v, -5);
}

TEST(CutilOptions, NumberParsing) {
    int v = 9;
    EXPECT_EQ(opt2i("Timeout=abc", "Timeout", &v), 1);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(opt2i("Timeout=-12x", "Timeout", &v), 1);
    EXPECT_EQ(v, -12);
    // the value after the '=' may be white space: strtol skips it
    EXPECT_EQ(opt2i("Timeout= 42", "Timeout", &v), 1);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(opt2i("T=99999999999", "T", &v), 1);
    EXPECT_EQ(v, 2147483647);
    int64_t w = 0;
    EXPECT_EQ(opt2i64("Width=-3", "width", &w), 1);
    EXPECT_EQ(w, -3);
    EXPECT_EQ(opt2i64("Width=-99999999999", "width", &w), 1);
    EXPECT_EQ(w, -2147483647 - 1);
    w = 11;
    EXPECT_EQ(opt2i64("Widt=3", "width", &w), 0);
    EXPECT_EQ(w, 11);
}

TEST(CutilOptions, TextValues) {
    char buf[16];
    memset(buf, 'z', sizeof buf);
    EXPECT_EQ(opt2a("a=1 PixelFormat=BayerRG8 b=2", "pixelformat", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "BayerRG8");
    // 15 characters fit a buffer of 16, 16 do not (and leave it alone)
    EXPECT_EQ(opt2a("K=123456789012345", "K", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "123456789012345");
    EXPECT_EQ(opt2a("K=1234567890123456", "K", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "123456789012345");
    // a white space right after the '=' gives the empty value
    EXPECT_EQ(opt2a("K= x", "K", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(opt2a("K=abc", "K", buf, 0), 0);
}

// ---------------------------------------------------------------- swapping
TEST(CutilColours, SwapColors) {
    unsigned char d[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 99};
    swapcolors(d, 2, 2);
    const unsigned char want[] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 99};
    EXPECT_EQ(memcmp(d, want, sizeof d), 0);
    swapcolors(d, 0, 5);   // nothing to do
    EXPECT_EQ(memcmp(d, want, sizeof d), 0);
}

// ------------------------------------------------------------- demosaicking
// Channel of a raw sample in the RGGB pattern: 0 red, 1 green, 2 blue.
int channelof(int x, int y) { return y % 2 == 0 ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2); }

// Reference: an inner pixel keeps its own sample for its own channel; each
// other channel is the truncated mean of that channel's samples in its
// 3 x 3 neighbourhood.
std::vector<unsigned char> referencedebayer(const std::vector<unsigned char> &raw, int w, int h) {
    std::vector<unsigned char> rgb(size_t(3 * w * h), 0);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            for (int c = 0; c < 3; ++c) {
                if (c == channelof(x, y)) {
                    rgb[size_t(3 * (y * w + x) + c)] = raw[size_t(y * w + x)];
                    continue;
                }
                int sum = 0, n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (channelof(x + dx, y + dy) == c) sum += raw[size_t((y + dy) * w + x + dx)], ++n;
                rgb[size_t(3 * (y * w + x) + c)] = (unsigned char)(sum / n);
            }
    return rgb;
}

TEST(CutilDebayer, MatchesReference) {
    std::mt19937 gen(12345);
    // widths of 18 and more take the 16-pixel steps, with and without a
    // scalar tail
    for (auto [w, h] : {std::pair{5, 4}, {6, 7}, {3, 3}, {8, 2}, {2, 9}, {17, 13}, {18, 3},
                        {33, 4}, {50, 7}, {64, 5}, {101, 6}}) {
        std::vector<unsigned char> raw(size_t(w * h));
        for (auto &b : raw) b = (unsigned char)(gen() & 255);
        // a guard byte behind the output must survive
        std::vector<unsigned char> out(size_t(3 * w * h) + 1, 0xAB);
        debayer(raw.data(), w, h, out.data());
        EXPECT_EQ(out.back(), 0xAB) << w << "x" << h;
        out.pop_back();
        EXPECT_EQ(out, referencedebayer(raw, w, h)) << w << "x" << h;
    }
}

TEST(CutilDebayer, SmallImagesAreBlack) {
    for (auto [w, h] : {std::pair{2, 2}, {1, 1}, {1, 5}, {2, 6}}) {
        std::vector<unsigned char> raw(size_t(w * h), 200), out(size_t(3 * w * h), 77);
        debayer(raw.data(), w, h, out.data());
        EXPECT_EQ(out, std::vector<unsigned char>(out.size(), 0)) << w << "x" << h;
    }
}

TEST(CutilDebayer, UniformGreyStaysGrey) {
    std::vector<unsigned char> raw(6 * 5, 255), out(3 * 6 * 5);
    debayer(raw.data(), 6, 5, out.data());
    EXPECT_EQ(out[3 * (2 * 6 + 3)], 255);   // no overflow in the sums
    EXPECT_EQ(out[3 * (2 * 6 + 3) + 1], 255);
    EXPECT_EQ(out[3 * (2 * 6 + 3) + 2], 255);
}

// ------------------------------------------------------------------- loader
std::string loadfails(const char *name) {
    try {
        loadcamera(name);
    } catch (const ImaFailure &e) {
        return e.what();
    }
    return "";
}

struct CameraLoader : ::testing::Test {
    void SetUp() override { set_ima_error(throwerror); }
    void TearDown() override {
        freecamera();
        set_ima_error(default_error);
    }
};

TEST_F(CameraLoader, MissingAndIncompleteModules) {
    EXPECT_EQ(loadfails("nosuchcamera"), "can't load the library");
    EXPECT_FALSE(cameraok());
    EXPECT_EQ(camera.caminit, nullptr);
    EXPECT_EQ(loadfails("simcamnolut"), "can't bind functions");
    EXPECT_FALSE(cameraok());
    EXPECT_EQ(camera.camfree, nullptr);
    EXPECT_EQ(camera.camerror, nullptr);
    freecamera();   // harmless without a module
    EXPECT_FALSE(cameraok());
}

TEST_F(CameraLoader, SimulatedCameraThroughTheBinding) {
    // a name of more than 123 characters is cut to its first 123
    std::string longname = "simcam" + std::string(130, 'x');
    EXPECT_EQ(loadfails(longname.c_str()), "can't load the library");
    ASSERT_EQ(loadfails("simcam"), "");
    ASSERT_TRUE(cameraok());
    ASSERT_TRUE(camera.caminit("SensorWidth=8 SensorHeight=4"));
    EXPECT_FALSE(camera.camsnap(0, "OffsetX=7 Width=2"));
    EXPECT_STREQ(camera.camerror(), "set new roi");
    ASSERT_TRUE(camera.camsnap(0, "OffsetX=1 OffsetY=2 Width=3 Height=2"));
    int x, y, w, h, depth;
    ASSERT_TRUE(camera.camreadheader(&x, &y, &w, &h, &depth));
    EXPECT_EQ(std::vector<int>({x, y, w, h, depth}), std::vector<int>({1, 2, 3, 2, 8}));
    // the module writes the inner pixels only, the border stays the host's
    std::vector<unsigned char> grey(5 * 4, 0xEE);
    ASSERT_TRUE(camera.camreaddata(grey.data()));
    const std::vector<unsigned char> want = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE,   //
                                             0xEE, 33,   34,   35,   0xEE,   //
                                             0xEE, 49,   50,   51,   0xEE,   //
                                             0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(grey, want);
    // loading again replaces the module, which starts afresh
    ASSERT_EQ(loadfails("simcam"), "");
    ASSERT_TRUE(camera.caminit(nullptr));
    EXPECT_FALSE(camera.camreadheader(&x, &y, &w, &h, &depth));
    EXPECT_STREQ(camera.camerror(), "no image queued");
}

}  // namespace
