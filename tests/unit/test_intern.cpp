// The image store: block sizes, handles, frames, filling and re-framing.
#include "tests/unit/imatest.h"
#include "image/intern.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

namespace {

// A fresh store with an error function that throws the message.
struct StoreTest : ::testing::Test {
    void SetUp() override {
        set_ima_error(throwerror);
        imainit();
    }
    void TearDown() override {
        for (int h = 0; h < MAXIMAGES; ++h)
            if (imarray[h].inuse) freeimage(h);
    }
};

std::string failure_of(void (*fn)()) {
    try {
        fn();
    } catch (const ImaFailure &e) {
        return e.what();
    }
    return "";
}

TEST_F(StoreTest, BlockSizes) {
    EXPECT_EQ(imagebytes(1, 1, 8), 9u);
    EXPECT_EQ(imagebytes(9, 2, 1), 4u);
    EXPECT_EQ(imagebytes(8, 3, 1), 3u);
    EXPECT_EQ(imagebytes(256, 256, 24), 3u * 256 * 256);
    EXPECT_EQ(imagebytes(3, 5, 16), 30u);
    EXPECT_EQ(imagebytes(3, 5, 32), 60u);
    EXPECT_EQ(imagebytes(3, 5, 7), 0u);
    EXPECT_EQ(imagebytes(4096, 4096, 32), 4u * 4096 * 4096);
}

TEST_F(StoreTest, HandlesAndCounters) {
    for (int i = 0; i < MAXIMAGES; ++i) ASSERT_EQ(newimage(0, 0, 1, 1, 8), i);
    EXPECT_EQ(id_used, 256);
    EXPECT_EQ(mem_used, 256 * 9);
    EXPECT_EQ(failure_of([] { newimage(0, 0, 1, 1, 8); }), "newimage, no more image handles");
    EXPECT_EQ(id_used, 256);   // the failed call left the table alone
    freeimage(200);
    freeimage(17);
    EXPECT_EQ(newimage(0, 0, 2, 2, 24), 17);   // the lowest free row
    EXPECT_EQ(mem_used, 254 * 9 + 12);   // two freed, one of 2 x 2 colour taken
    freeimage(17);
    EXPECT_EQ(failure_of([] { freeimage(17); }), "freeimage, image is not in use");
    EXPECT_EQ(id_used, 254);
}

TEST_F(StoreTest, ImageFrameIsClampedAndPullsTheMeasureFrame) {
    iframe(-5, -5, 0, 5000);
    EXPECT_EQ((std::array<int, 4>{ifx, ify, ifw, ifh}), (std::array<int, 4>{0, 0, 1, 4096}));
    EXPECT_EQ(ifw_grey, 3);
    EXPECT_EQ(ifh_grey, 4098);
    EXPECT_EQ(ifw_bin, 1);
    EXPECT_EQ(ifw_col, 3);
    frames(10, 20, 100, 50);
    EXPECT_EQ((std::array<int, 8>{ifx, ify, ifw, ifh, mfx, mfy, mfw, mfh}),
              (std::array<int, 8>{10, 20, 100, 50, 10, 20, 100, 50}));
    iframe(0, 0, 50, 50);
    EXPECT_EQ((std::array<int, 4>{mfx, mfy, mfw, mfh}), (std::array<int, 4>{10, 20, 40, 30}));
    EXPECT_EQ(ifw_bin, 7);
}

TEST_F(StoreTest, MeasureFrameIsPinnedInsideTheImageFrame) {
    frames(10, 10, 20, 20);
    mframe(100, -3, 8, 8);
    EXPECT_EQ((std::array<int, 4>{mfx, mfy, mfw, mfh}), (std::array<int, 4>{29, 10, 1, 8}));
    mframe(12, 12, 0, -4);   // sizes are only bounded from above
    EXPECT_EQ((std::array<int, 4>{mfx, mfy, mfw, mfh}), (std::array<int, 4>{12, 12, 0, -4}));
    EXPECT_EQ((std::array<int, 4>{ifx, ify, ifw, ifh}), (std::array<int, 4>{10, 10, 20, 20}));
}

TEST_F(StoreTest, FillsCoverTheWholeBlock) {
    iframe(0, 0, 9, 2);
    int b = newimage(0, 0, 9, 2, 1), g = newimage(0, 0, 9, 2, 8), c = newimage(0, 0, 9, 2, 24);
    binset(b, 1);
    for (uint32_t i = 0; i < imarray[b].nbytes; ++i) EXPECT_EQ(imarray[b].data[i], 255);
    binset(b, 0);
    for (uint32_t i = 0; i < imarray[b].nbytes; ++i) EXPECT_EQ(imarray[b].data[i], 0);
    greyset(g, 300);
    for (uint32_t i = 0; i < imarray[g].nbytes; ++i) EXPECT_EQ(imarray[g].data[i], 44);
    colset(c, 0x123456);
    for (uint32_t i = 0; i < imarray[c].nbytes; i += 3) {
        EXPECT_EQ(imarray[c].data[i], 0x12);
        EXPECT_EQ(imarray[c].data[i + 1], 0x34);
        EXPECT_EQ(imarray[c].data[i + 2], 0x56);
    }
}

TEST_F(StoreTest, ConvertGreyTakesTheOverlapAndClearsTheRest) {
    iframe(0, 0, 4, 4);
    int src = newimage(0, 0, 4, 4, 8);
    for (int i = 0; i < 36; ++i) imarray[src].data[i] = uint8_t(100 + i);
    iframe(2, 2, 4, 4);
    int dst = newimage(2, 2, 4, 4, 8);
    memset(imarray[dst].data, 9, 36);
    convert(src, dst);
    const uint8_t *s = imarray[src].data, *d = imarray[dst].data;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            bool inside = r >= 1 && r <= 2 && c >= 1 && c <= 2;   // dst pixels (0..1, 0..1)
            int want = inside ? s[(r + 2) * 6 + c + 2] : 0;
            EXPECT_EQ(d[r * 6 + c], want) << r << "," << c;
        }
}

TEST_F(StoreTest, ConvertWithoutOverlapOnlyClears) {
    iframe(0, 0, 3, 3);
    int sg = newimage(0, 0, 3, 3, 8), sc = newimage(0, 0, 3, 3, 24), sb = newimage(0, 0, 3, 3, 1);
    greyset(sg, 200);
    colset(sc, 0xFFFFFF);
    binset(sb, 1);
    iframe(3, 0, 3, 3);   // touches the sources' right edge, no shared pixel
    int dg = newimage(3, 0, 3, 3, 8), dc = newimage(3, 0, 3, 3, 24), db = newimage(3, 0, 3, 3, 1);
    greyset(dg, 1);
    colset(dc, 1);
    binset(db, 1);
    convert(sg, dg);
    convert(sc, dc);
    convert(sb, db);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(imarray[dg].data[i], 0);
    for (int i = 0; i < 27; ++i) EXPECT_EQ(imarray[dc].data[i], 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(imarray[db].data[i], 0);
}

TEST_F(StoreTest, ConvertColourCopiesWholePixels) {
    iframe(5, 5, 3, 2);
    int src = newimage(5, 5, 3, 2, 24);
    for (int i = 0; i < 18; ++i) imarray[src].data[i] = uint8_t(i + 1);
    iframe(4, 6, 3, 3);
    int dst = newimage(4, 6, 3, 3, 24);
    convert(src, dst);
    // dst row 0 = src row 1; dst columns 1, 2 = src columns 0, 1
    const uint8_t want[27] = {0, 0, 0, 10, 11, 12, 13, 14, 15,
                              0, 0, 0, 0, 0, 0, 0, 0, 0,
                              0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(imarray[dst].data, want, 27));
}

bool bit(int h, int c, int r) {
    const s_image &im = imarray[h];
    return (im.data[r * ((im.w + 7) / 8) + c / 8] >> (c % 8)) & 1;
}

// Binary re-framing between every bit alignment, against a bit-by-bit
// reference; widths that are not multiples of 8, single rows and columns.
TEST_F(StoreTest, ConvertBinaryAtAnyAlignment) {
    std::mt19937 rng(12345);
    const int sizes[] = {1, 2, 7, 8, 9, 15, 16, 17, 31, 33, 70};
    for (int trial = 0; trial < 600; ++trial) {
        int sw = sizes[rng() % 11], sh = sizes[rng() % 11];
        int dw = sizes[rng() % 11], dh = sizes[rng() % 11];
        int sx = int(rng() % 40), sy = int(rng() % 40), dx = int(rng() % 40), dy = int(rng() % 40);
        iframe(sx, sy, sw, sh);
        int src = newimage(sx, sy, sw, sh, 1);
        for (uint32_t i = 0; i < imarray[src].nbytes; ++i) imarray[src].data[i] = uint8_t(rng());
        iframe(dx, dy, dw, dh);
        int dst = newimage(dx, dy, dw, dh, 1);
        memset(imarray[dst].data, 0xA5, imarray[dst].nbytes);
        convert(src, dst);
        for (int r = 0; r < dh; ++r)
            for (int c = 0; c < (dw + 7) / 8 * 8; ++c) {
                int px = dx + c, py = dy + r;
                bool inside = c < dw && px >= sx && px < sx + sw && py >= sy && py < sy + sh;
                bool want = inside && bit(src, px - sx, py - sy);
                ASSERT_EQ(bit(dst, c, r), want) << "trial " << trial << " at " << c << "," << r;
            }
        freeimage(src);
        freeimage(dst);
    }
}

TEST_F(StoreTest, ConvertLargestFrame) {
    iframe(0, 0, 4096, 4096);
    int src = newimage(0, 0, 4096, 4096, 8);
    greyset(src, 7);
    iframe(4095, 4095, 4096, 4096);
    int dst = newimage(4095, 4095, 4096, 4096, 8);
    convert(src, dst);
    const uint8_t *d = imarray[dst].data;
    EXPECT_EQ(d[4098 + 1], 7);            // the one shared pixel
    EXPECT_EQ(d[4098 + 2], 0);
    EXPECT_EQ(d[size_t(4098) * 4098 - 1], 0);
}

}  // namespace

// Released blocks wait for the next image of the same size; the budget
// figures count live images only, and the cache stays within its bounds.
TEST_F(StoreTest, ReleasedBlocksAreReused) {
    int a = newimage(0, 0, 100, 100, 8);
    uint8_t *block = imarray[a].data;
    freeimage(a);
    EXPECT_EQ(mem_used, 0);
    EXPECT_EQ(ima_cachedbytes(), int64_t(imagebytes(100, 100, 8)));
    int b = newimage(0, 0, 101, 100, 8);   // another size: a fresh block
    EXPECT_NE(imarray[b].data, block);
    int c = newimage(5, 7, 100, 100, 8);   // the same size: the kept block
    EXPECT_EQ(imarray[c].data, block);
    EXPECT_EQ(imarray[c].x0, 5);
    EXPECT_EQ(ima_cachedbytes(), 0);
    EXPECT_EQ(mem_used, int64_t(imagebytes(101, 100, 8) + imagebytes(100, 100, 8)));
    freeimage(b);
    freeimage(c);
    // a colour block of the same byte count serves a grey image too
    int d = newimage(0, 0, 68, 51, 24);   // 3 x 68 x 51 = 102 x 102
    EXPECT_EQ(imarray[d].data, block);
    freeimage(d);
    imainit();
    EXPECT_EQ(ima_cachedbytes(), 0);
}

TEST_F(StoreTest, BlockCacheIsBounded) {
    set_ima_cachelimit(1000);   // the cache keeps no more bytes than the budget
    const int64_t n = imagebytes(10, 10, 8);   // 144 bytes
    int h[8];
    for (int &x : h) x = newimage(0, 0, 10, 10, 8);
    for (int x : h) freeimage(x);
    EXPECT_EQ(ima_cachedbytes(), 1000 / n * n);
    int big = newimage(0, 0, 40, 40, 8);   // larger than the budget: not kept
    freeimage(big);
    EXPECT_EQ(ima_cachedbytes(), 1000 / n * n);
    set_ima_cachelimit(int64_t(128) << 20);
    // no more than 64 blocks, whatever their size
    int many[70];
    for (int &x : many) x = newimage(0, 0, 1, 1, 8);
    ima_dropcache();
    for (int x : many) freeimage(x);
    EXPECT_EQ(ima_cachedbytes(), 64 * int64_t(imagebytes(1, 1, 8)));
    ima_dropcache();
    EXPECT_EQ(ima_cachedbytes(), 0);
}

namespace {

// Every record the store makes keeps the layout of its depth; a record
// whose size, depth or block disagrees is refused.
TEST_F(StoreTest, RecordsKeepTheLayoutOfTheirDepth) {
    for (int depth : {1, 8, 16, 24, 32})
        for (int w : {1, 7, 8, 9, 4096}) {
            int h = newimage(-3, 5, w, 3, depth);
            EXPECT_TRUE(imagerecordok(imarray[h])) << depth << " " << w;
            freeimage(h);
        }
    int h = newimage(0, 0, 9, 2, 8);
    s_image r = imarray[h];
    EXPECT_EQ(r.nbytes, 11u * 4u);   // (w + 2) x (h + 2): the border
    r.nbytes -= 1;
    EXPECT_FALSE(imagerecordok(r));
    r = imarray[h];
    r.depth = 1;   // 2 rows of 2 bytes would be the BIN block
    EXPECT_FALSE(imagerecordok(r));
    r = imarray[h];
    r.data = nullptr;
    EXPECT_FALSE(imagerecordok(r));
    r = imarray[h];
    r.depth = 12;
    EXPECT_FALSE(imagerecordok(r));
    r = imarray[h];
    r.inuse = 0;
    EXPECT_FALSE(imagerecordok(r));
}

}  // namespace
