// The readout of the displayed image's values: grey, binary and colour
// layouts, the picture standing in for colour values, points outside the
// image at the ends of the coordinate range.
#include "shell/disp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Shows a 3 x 2 picture at (100, 200) with the given values; puts the
// previous display record back afterwards.
struct DispValueTest : ::testing::Test {
    s_display saved = Ima;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(3 * 3 * 2, 7);
    void show(int depth, uint8_t *values) {
        Ima = {100, 200, 3, 2, pixels.data(), depth, values};
    }
    std::string at(int64_t x, int64_t y) {
        char out[32] = "junk";
        bool inside = dispvalue(x, y, out, sizeof out);
        EXPECT_EQ(inside, out[0] != '\0');
        return out;
    }
    void TearDown() override { Ima = saved; }
};

TEST_F(DispValueTest, GreyLevelsRowByRow) {
    uint8_t grey[6] = {0, 1, 2, 30, 40, 255};
    show(8, grey);
    EXPECT_EQ(at(100, 200), "0");
    EXPECT_EQ(at(102, 200), "2");
    EXPECT_EQ(at(100, 201), "30");
    EXPECT_EQ(at(102, 201), "255");
}

TEST_F(DispValueTest, BinaryBitsLeftmostFirst) {
    uint8_t bits[2] = {0x05, 0x02};   // row 0: 1 0 1, row 1: 0 1 0
    show(1, bits);
    EXPECT_EQ(at(100, 200), "1");
    EXPECT_EQ(at(101, 200), "0");
    EXPECT_EQ(at(102, 200), "1");
    EXPECT_EQ(at(101, 201), "1");
    EXPECT_EQ(at(102, 201), "0");
}

TEST_F(DispValueTest, ColourFromValuesOrFromThePicture) {
    uint8_t rgb[18] = {};
    rgb[15] = 255, rgb[16] = 128, rgb[17] = 1;   // pixel (2, 1)
    show(24, rgb);
    EXPECT_EQ(at(102, 201), "(255 128 1)");
    show(24, nullptr);   // no overlay: the picture holds the values
    EXPECT_EQ(at(102, 201), "(7 7 7)");
}

TEST_F(DispValueTest, NothingOutsideOrWithoutValues) {
    uint8_t grey[6] = {};
    show(8, grey);
    for (int64_t x : {int64_t(99), int64_t(103), INT64_MIN, INT64_MAX})
        EXPECT_EQ(at(x, 200), "") << x;
    for (int64_t y : {int64_t(199), int64_t(202), INT64_MIN, INT64_MAX})
        EXPECT_EQ(at(100, y), "") << y;
    show(0, nullptr);   // the icon
    EXPECT_EQ(at(100, 200), "");
    show(8, nullptr);
    EXPECT_EQ(at(100, 200), "");
}

}  // namespace
