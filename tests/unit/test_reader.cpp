// Number syntax of the reader (isnumber) over many tokens: which tokens are
// numbers, of which type and value. Tokens are given as the reader passes
// them, after upper-casing.
#include "interp/ks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

void initonce() {
    static bool done = false;
    if (!done) {
        ksinit();
        done = true;
    }
}

TEST(IsNumber, TokensThatAreNotNumbers) {
    for (const char *t : {"", "+", "-", ".", "+.", "-.", "1+", "1-", "E5", ".E5", "+E",
                          "1.2.3", "1E5E", "1E5.", "1..", "--1", "+-1", "1 ", " 1", "1A",
                          "#X1F", "1e5", "0X10", "1E+5+", "..5", "1/2"}) {
        EXPECT_FALSE(isnumber(t, nullptr)) << "token \"" << t << "\"";
    }
}

TEST(IsNumber, IntegersKeepTheirLow32Bits) {
    initonce();
    struct { const char *token; int32_t value; } cases[] = {
        {"0", 0}, {"12", 12}, {"+7", 7}, {"-17", -17}, {"1.", 1}, {"-3.", -3},
        {"1E", 1}, {"1E+", 1}, {"-2E-", -2}, {"007", 7},
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MIN}, {"4294967296", 0}, {"4294967297", 1},
        {"-4294967297", -1}, {"99999999999999999999999", (int32_t)4135583743u},
    };
    for (auto &c : cases) {
        node v = NIL;
        ASSERT_TRUE(isnumber(c.token, &v)) << c.token;
        ASSERT_TRUE(fixp(v)) << c.token;
        EXPECT_EQ(getfixnum(v), c.value) << c.token;
    }
}

TEST(IsNumber, FractionOrExponentDigitsMakeAFlonum) {
    initonce();
    struct { const char *token; float value; } cases[] = {
        {"12.5", 12.5f}, {"-.5", -0.5f}, {".5", 0.5f}, {"+.25", 0.25f},
        {"1.5E3", 1500.0f}, {"-2E3", -2000.0f}, {"1.E2", 100.0f}, {"2E-1", 0.2f},
        {"1E+2", 100.0f}, {"0.0", 0.0f}, {"3.40282346E38", 3.40282346e38f},
    };
    for (auto &c : cases) {
        node v = NIL;
        ASSERT_TRUE(isnumber(c.token, &v)) << c.token;
        ASSERT_TRUE(floatp(v)) << c.token;
        EXPECT_FLOAT_EQ(getflonum(v), c.value) << c.token;
    }
}

TEST(IsNumber, FlonumsBeyondTheFloatRangeSaturate) {
    initonce();
    node v = NIL;
    ASSERT_TRUE(isnumber("1E39", &v));
    EXPECT_TRUE(std::isinf(getflonum(v)) && getflonum(v) > 0);
    ASSERT_TRUE(isnumber("-1E400", &v));
    EXPECT_TRUE(std::isinf(getflonum(v)) && getflonum(v) < 0);
    ASSERT_TRUE(isnumber("1E-400", &v));
    EXPECT_EQ(getflonum(v), 0.0f);
    ASSERT_TRUE(isnumber("1E-50", &v));
    EXPECT_EQ(getflonum(v), 0.0f);
}

}  // namespace
