// Pixel queues: ring growth, first-in first-out order, release when empty,
// the hierarchical levels, and the seeding routines.
#include "image/intern.h"
#include "image/queue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace {

// Every test starts from empty queues and zero counters.
struct QueueTest : ::testing::Test {
    void SetUp() override {
        qinit();
        qfree();
        hqfree();
    }
    void TearDown() override {
        qfree();
        hqfree();
    }
};

bool fresh(const s_queue &q) {
    return q.head == q.first && q.tail == q.first && q.first->next == q.first &&
           q.seg == nullptr && q.nseg == 0;
}

TEST_F(QueueTest, GetOnFreshQueueReturnsNoPositionAndChangesNothing) {
    uint32_t pos = 7, dist = 1234;
    qget(&pos, &dist);
    EXPECT_EQ(pos, QEMPTY);
    EXPECT_EQ(dist, 1234u);
    EXPECT_TRUE(fresh(queue));
    hqget(17, &pos);
    EXPECT_EQ(pos, QEMPTY);
    EXPECT_TRUE(fresh(hqueue[17]));
}

TEST_F(QueueTest, FirstPutAddsOneSegmentAndCapacityIsOnePlusSegment) {
    qput(1, 0);
    EXPECT_EQ(queue.nseg, 1);
    for (uint32_t i = 2; i <= 100; ++i) qput(i, 0);
    EXPECT_EQ(queue.nseg, 1);   // 100 entries in 101 cells
    qput(101, 0);
    EXPECT_EQ(queue.nseg, 2);   // the 101st fills the ring
    hqput(3, 1);
    EXPECT_EQ(hqueue[3].nseg, 1);
    for (uint32_t i = 2; i <= 51; ++i) hqput(3, i);
    EXPECT_EQ(hqueue[3].nseg, 2);   // 1 + 50 cells per level
}

TEST_F(QueueTest, FifoOrderAcrossGrowthWithInterleavedGets) {
    uint32_t next_in = 0, next_out = 0, pos, dist;
    // Grow while the head sits in the middle of the ring, many times over.
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 137; ++i, ++next_in) qput(next_in, next_in * 3);
        for (int i = 0; i < 61; ++i, ++next_out) {
            qget(&pos, &dist);
            ASSERT_EQ(pos, next_out);
            ASSERT_EQ(dist, next_out * 3);
        }
    }
    while (next_out < next_in) {
        qget(&pos, &dist);
        ASSERT_EQ(pos, next_out);
        ASSERT_EQ(dist, next_out * 3);
        ++next_out;
    }
    EXPECT_GT(queue.nseg, 10);   // the segment table itself has grown
    qget(&pos, &dist);
    EXPECT_EQ(pos, QEMPTY);
    EXPECT_TRUE(fresh(queue));   // the empty get gave every segment back
}

TEST_F(QueueTest, MemoryIsKeptWhileInUseAndReleasedWhenFoundEmpty) {
    uint32_t pos, dist;
    for (uint32_t i = 0; i < 1000; ++i) qput(i, 0);
    int grown = queue.nseg;
    EXPECT_EQ(grown, 10);   // 1 + 10 * 100 cells hold 1000 entries
    for (uint32_t i = 0; i < 1000; ++i) qget(&pos, &dist);
    EXPECT_EQ(queue.nseg, grown);   // drained but not yet found empty
    for (uint32_t i = 0; i < 500; ++i) qput(i, 0);
    EXPECT_EQ(queue.nseg, grown);   // the grown ring is reused
    for (uint32_t i = 0; i < 500; ++i) qget(&pos, &dist);
    qget(&pos, &dist);
    EXPECT_TRUE(fresh(queue));
}

TEST_F(QueueTest, HierarchicalLevelsAreIndependentQueues) {
    // Interleave puts over all levels; each level gives back its own entries
    // in order.
    for (uint32_t i = 0; i < 256 * 120; ++i) hqput(int((i * 7) % 256), i);
    uint32_t pos;
    for (int level = 255; level >= 0; --level) {
        uint32_t last = 0;
        int count = 0;
        for (;;) {
            hqget(level, &pos);
            if (pos == QEMPTY) break;
            ASSERT_EQ((pos * 7) % 256, uint32_t(level));
            if (count) {
                ASSERT_GT(pos, last);
            }
            last = pos;
            ++count;
        }
        EXPECT_EQ(count, 120);
        EXPECT_TRUE(fresh(hqueue[level]));
    }
}

TEST_F(QueueTest, CountersRecordTheLargestGrowth) {
    q_segnrmax = hq_segnrmax = 0;
    for (uint32_t i = 0; i < 350; ++i) qput(i, 0);
    EXPECT_EQ(q_segnrmax, 4);
    for (uint32_t i = 0; i < 120; ++i) hqput(9, i);
    for (uint32_t i = 0; i < 60; ++i) hqput(200, i);
    EXPECT_EQ(hq_segnrmax, 3);
    qfree();
    for (uint32_t i = 0; i < 50; ++i) qput(i, 0);
    EXPECT_EQ(q_segnrmax, 4);   // only grows until reported
}

TEST_F(QueueTest, HoldsAWholeLargeFrameOfEntries) {
    const uint32_t n = 4096u * 4096u;
    for (uint32_t i = 0; i < n; ++i) qput(i, i ^ 0x5555);
    uint32_t pos, dist;
    for (uint32_t i = 0; i < n; ++i) {
        qget(&pos, &dist);
        if (pos != i || dist != (i ^ 0x5555)) FAIL() << "entry " << i;
    }
    qget(&pos, &dist);
    EXPECT_EQ(pos, QEMPTY);
    EXPECT_TRUE(fresh(queue));
}

// ------------------------------------------------------------ seeding
struct SeedTest : QueueTest {
    int img = -1;
    void make(int w, int h, const std::vector<const char *> &rows) {
        iframe(0, 0, w, h);
        img = newimage(0, 0, w, h, 8);
        memset(imarray[img].data, 77, imagebytes(w, h, 8));   // border must be cleared
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                imarray[img].data[(y + 1) * (w + 2) + x + 1] = uint8_t(rows[size_t(y)][x] - '0');
    }
    uint32_t at(int x, int y) const { return uint32_t((y + 1) * ifw_grey + x + 1); }
    void TearDown() override {
        if (img >= 0) freeimage(img);
        QueueTest::TearDown();
    }
};

std::vector<uint32_t> drainq() {
    std::vector<uint32_t> out;
    uint32_t pos, dist = 99;
    for (qget(&pos, &dist); pos != QEMPTY; qget(&pos, &dist)) {
        EXPECT_EQ(dist, 0u);
        out.push_back(pos);
    }
    return out;
}

std::vector<uint32_t> drainhq(int level) {
    std::vector<uint32_t> out;
    uint32_t pos;
    for (hqget(level, &pos); pos != QEMPTY; hqget(level, &pos)) out.push_back(pos);
    return out;
}

TEST_F(SeedTest, BinInputQueuesInnerBoundaryInRasterOrderWithFrameEdge) {
    make(5, 4, {"11100",
                "11100",
                "11100",
                "00001"});
    qput(12345, 1);   // left over from an earlier operator: discarded
    qbinput(img);
    std::vector<uint32_t> want = {at(0, 0), at(1, 0), at(2, 0), at(0, 1), at(2, 1),
                                  at(0, 2), at(1, 2), at(2, 2), at(4, 3)};
    EXPECT_EQ(drainq(), want);
    // the border ring was cleared, the pixels kept
    EXPECT_EQ(imarray[img].data[0], 0);
    EXPECT_EQ(imarray[img].data[at(1, 1)], 1);
}

TEST_F(SeedTest, SeedLabelUsesLevelZero) {
    make(3, 3, {"000",
                "020",
                "000"});
    hqseedlabel(img);
    EXPECT_EQ(drainhq(0), std::vector<uint32_t>{at(1, 1)});
}

TEST_F(SeedTest, GreyPutOnConstantImageQueuesFrameEdgeCornersTwice) {
    make(4, 3, {"5555",
                "5555",
                "5555"});
    hqgreyput(img);
    std::vector<uint32_t> got = drainhq(5);
    std::vector<uint32_t> want = {at(0, 0), at(0, 0), at(1, 0), at(2, 0), at(3, 0), at(3, 0),
                                  at(0, 1), at(3, 1),
                                  at(0, 2), at(0, 2), at(1, 2), at(2, 2), at(3, 2), at(3, 2)};
    EXPECT_EQ(got, want);
    for (int level = 0; level < 256; ++level)
        if (level != 5) {
            EXPECT_TRUE(drainhq(level).empty()) << level;
        }
}

TEST_F(SeedTest, GreyPutTakesOnlyLocalMaximaAtTheirLevel) {
    make(5, 3, {"12321",
                "13931",
                "12321"});
    hqgreyput(img);
    // the 9 is the only maximum; its four neighbours differ from it
    EXPECT_EQ(drainhq(9), (std::vector<uint32_t>{at(2, 1), at(2, 1), at(2, 1), at(2, 1)}));
    for (int level = 0; level < 9; ++level) EXPECT_TRUE(drainhq(level).empty()) << level;
}

TEST_F(SeedTest, OnePixelFrame) {
    make(1, 1, {"4"});
    qbinput(img);
    EXPECT_EQ(drainq(), std::vector<uint32_t>{at(0, 0)});
    hqgreyput(img);
    EXPECT_EQ(drainhq(4).size(), 4u);
}

}  // namespace
