// Propagation operators checked against plain references that take the
// operators' steps one by one on the pixel queues (seeding, breadth-first
// fronts, hierarchical levels), on random images of awkward sizes,
// densities and frame origins.
#include <gtest/gtest.h>

#include "tests/unit/imatest.h"

#include "image/base.h"
#include "image/intern.h"
#include "image/morph.h"
#include "image/queue.h"

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

long W() { return ifw_grey; }
uint32_t pos(int x, int y) { return uint32_t((y + 1) * ifw_grey + x + 1); }

// ------------------------------------------------------ literal references

void refborder(uint8_t *g, uint8_t v) {
    for (int x = -1; x <= ifw; ++x) g[pos(x, -1)] = g[pos(x, ifh)] = v;
    for (int y = 0; y < ifh; ++y) g[pos(-1, y)] = g[pos(ifw, y)] = v;
}

std::vector<long> nb8() { return {-W() - 1, -W(), -W() + 1, -1, 1, W() - 1, W(), W() + 1}; }

void refbinprop(uint8_t *marker, uint8_t *mask, uint32_t maxdist) {
    refborder(mask, 0);
    for (;;) {
        uint32_t p, dist = 0;
        qget(&p, &dist);
        if (p == QEMPTY) return;
        if (dist == maxdist) return;
        for (long o : nb8()) {
            uint32_t n = uint32_t(long(p) + o);
            if (marker[n] == 0 && mask[n] != 0) {
                marker[n] = marker[p];
                qput(n, dist + 1);
            }
        }
    }
}

uint32_t reflabel(Img &result, Img &mask, uint32_t max) {
    qfree();
    std::memset(result.d(), 0, imarray[result.h].nbytes);
    refborder(mask.d(), 0);
    if (max == 0) return 0;
    uint32_t count = 0;
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) {
            if (mask.at(x, y) != 0 && result.at(x, y) == 0) {
                result.at(x, y) = uint8_t((count + count / 255 + 1) % 256);
                qput(pos(x, y), 0);
                refbinprop(result.d(), mask.d(), 0xFFFFFFFFu);
                ++count;
            }
            if (count == max) return count;
        }
    return count;
}

void refbinbuild(Img &marker, Img &mask, int size) {
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x)
            if (mask.at(x, y) == 0) marker.at(x, y) = 0;
    qbinput(marker.h);
    refbinprop(marker.d(), mask.d(), uint32_t(size));
}

void refgreyprop(uint8_t *R, const uint8_t *I) {
    std::memset(R, 0, size_t(ifw_grey) * size_t(ifh_grey));
    refborder(R, 255);
    const long nine[9] = {-W() - 1, -W(), -W() + 1, -1, 0, 1, W() - 1, W(), W() + 1};
    for (int L = 255; L >= 1; --L)
        for (;;) {
            uint32_t p;
            hqget(L, &p);
            if (p == QEMPTY) break;
            for (long o : nine) {
                uint32_t q = uint32_t(long(p) + o);
                if (R[q] != 0) continue;
                if (I[q] >= L) {
                    R[q] = uint8_t(L);
                    hqput(L, q);
                } else {
                    R[q] = I[q];
                    hqput(I[q], q);
                }
            }
        }
}

void refgreybuild(Img &marker, Img &mask) {
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) marker.at(x, y) = std::min(marker.at(x, y), mask.at(x, y));
    hqgreyput(marker.h);
    refgreyprop(marker.d(), mask.d());
}

void refwatershed(Img &labels, Img &relief) {
    hqseedlabel(labels.h);
    uint8_t *lab = labels.d();
    refborder(lab, 255);
    for (int L = 0; L <= 255; ++L)
        for (;;) {
            uint32_t p;
            hqget(L, &p);
            if (p == QEMPTY) break;
            for (long o : nb8()) {
                uint32_t n = uint32_t(long(p) + o);
                if (lab[n] != 0) continue;
                lab[n] = lab[p];
                int r = relief.d()[n];
                hqput(r > L ? r : L, n);
            }
        }
}

// Code bits of the neighbours in the order NW, N, NE, W, E, SW, S, SE.
constexpr int codebit[8] = {64, 128, 256, 32, 2, 16, 8, 4};

void refthin(Img &ima, const std::vector<std::pair<int, int>> &pairs, int size, const Img *block) {
    uint8_t table[512];
    for (int c = 0; c < 512; ++c) {
        table[c] = 0;
        for (auto [a, b] : pairs)
            if ((c & a) == 0 && (c & b) == b) table[c] = 1;
    }
    qbinput(ima.h);
    if (block)
        for (int y = 0; y < ifh; ++y)
            for (int x = 0; x < ifw; ++x)
                if ((block->d()[y * ifw_bin + x / 8] >> (x % 8)) & 1) ima.at(x, y) = 2;
    uint8_t *g = ima.d();
    refborder(g, 0);
    std::vector<long> n = nb8();
    for (;;) {
        uint32_t p, dist = 0;
        qget(&p, &dist);
        if (p == QEMPTY || dist == uint32_t(size)) return;
        if (g[p] == 0 || g[p] == 2) continue;
        int c = 1;
        for (int k = 0; k < 8; ++k)
            if (g[long(p) + n[size_t(k)]] != 0) c |= codebit[k];
        if (table[c] == 0) continue;
        g[p] = 0;
        for (int k = 0; k < 8; ++k)
            if (c & codebit[k]) qput(uint32_t(long(p) + n[size_t(k)]), dist + 1);
    }
}

// ---------------------------------------------------------------- fixture

struct Frame {
    int x, y, w, h;
};
// Single pixels, rows, columns, odd sizes, widths around multiples of 8,
// frames away from the origin.
constexpr Frame frames_[] = {{0, 0, 1, 1}, {0, 0, 1, 17}, {0, 0, 23, 1}, {3, 7, 13, 9}, {0, 0, 8, 8},
                             {11, 2, 31, 17}, {0, 0, 65, 33}, {100, 50, 40, 61}};
constexpr double densities[] = {0.05, 0.3, 0.5, 0.62, 0.9};

class Morph : public ImageTest {
protected:
    Morph() : ImageTest(4242) {}
    void SetUp() override {
        ImageTest::SetUp();
        qinit();   // creates the queues once, empties them afterwards
    }
    void TearDown() override {
        ima_poll = nullptr;
        ImageTest::TearDown();
    }
    // Every byte random (border and padding too), then the frame pixels
    // 1 with probability p (else 0) or, with values > 1, in 0 .. values - 1.
    void random01(Img &g, double p) {
        for (uint32_t i = 0; i < imarray[g.h].nbytes; ++i) g.d()[i] = uint8_t(rng());
        std::bernoulli_distribution on(p);
        for (int y = 0; y < ifh; ++y)
            for (int x = 0; x < ifw; ++x) g.at(x, y) = on(rng) ? 1 : 0;
    }
    void randomgrey(Img &g, int levels) {
        for (uint32_t i = 0; i < imarray[g.h].nbytes; ++i) g.d()[i] = uint8_t(rng());
        for (int y = 0; y < ifh; ++y)
            for (int x = 0; x < ifw; ++x) g.at(x, y) = uint8_t(rng() % unsigned(levels));
    }
    // Smooth relief: sums of a few cones, so that basins are large.
    void relief(Img &g) {
        int cx[4], cy[4];
        for (int k = 0; k < 4; ++k) cx[k] = int(rng() % unsigned(ifw)), cy[k] = int(rng() % unsigned(ifh));
        for (int y = 0; y < ifh; ++y)
            for (int x = 0; x < ifw; ++x) {
                int v = 255;
                for (int k = 0; k < 4; ++k) v = std::min(v, 3 * (std::abs(x - cx[k]) + std::abs(y - cy[k])));
                g.at(x, y) = uint8_t(v ^ int(rng() % 4));
            }
    }
    void randombin(Img &b, double p) {
        std::bernoulli_distribution on(p);
        std::memset(b.d(), 0, imarray[b.h].nbytes);
        for (int y = 0; y < ifh; ++y)
            for (int x = 0; x < ifw; ++x)
                if (on(rng)) b.d()[y * ifw_bin + x / 8] |= uint8_t(1 << (x % 8));
    }
};

void copyframe(const Img &from, Img &to) { std::memcpy(to.d(), from.d(), imarray[from.h].nbytes); }

// Compares the frame pixels of two grey images.
void expectsame(const Img &want, const Img &got, const std::string &what) {
    int bad = 0;
    for (int y = 0; y < ifh && bad < 5; ++y)
        for (int x = 0; x < ifw && bad < 5; ++x)
            if (want.at(x, y) != got.at(x, y)) {
                ++bad;
                ADD_FAILURE() << what << ": pixel (" << x << "," << y << ") got " << int(got.at(x, y))
                              << " want " << int(want.at(x, y)) << " in frame " << ifw << "x" << ifh;
            }
}

// ======================================================================= tests

TEST_F(Morph, LabelMatchesReferenceIncludingLimitsAndWrap) {
    for (Frame f : frames_) {
        frames(f.x, f.y, f.w, f.h);
        for (double p : densities)
            for (uint32_t max : {0xFFFFFFFFu, 0u, 1u, 3u, 300u}) {
                Img mask(8), mask2(8), got(8), want(8);
                random01(mask, p);
                copyframe(mask, mask2);
                uint32_t n = label(got.h, mask.h, max);
                uint32_t m = reflabel(want, mask2, max);
                EXPECT_EQ(m, n);
                expectsame(want, got, "label");
                EXPECT_EQ(0, queue.nseg);   // the queue gave its memory back
            }
    }
}

TEST_F(Morph, LabelNumbersManyComponentsAndWrapsAfter255) {
    frames(0, 0, 40, 30);   // isolated pixels on a grid of 2: 20 x 15 = 300 components
    Img mask(8), res(8);
    std::memset(mask.d(), 0, imarray[mask.h].nbytes);
    for (int y = 0; y < 30; y += 2)
        for (int x = 0; x < 40; x += 2) mask.at(x, y) = 1;
    EXPECT_EQ(300u, label(res.h, mask.h, 0xFFFFFFFFu));
    EXPECT_EQ(255, res.at(28, 24));   // the 255th (n = 254)
    EXPECT_EQ(1, res.at(30, 24));     // the 256th wraps to 1
    EXPECT_EQ(2, res.at(32, 24));
    EXPECT_EQ(0, res.at(1, 0));
    EXPECT_EQ(256u, label(res.h, mask.h, 256));
    EXPECT_EQ(0, res.at(32, 24));   // beyond the limit: unlabelled
}

TEST_F(Morph, DiagonalTouchIsOneComponent) {
    frames(0, 0, 3, 3);
    Img mask(8), res(8);
    std::memset(mask.d(), 0, imarray[mask.h].nbytes);
    mask.at(0, 0) = mask.at(1, 1) = mask.at(2, 2) = mask.at(2, 0) = 1;
    EXPECT_EQ(1u, label(res.h, mask.h, 0xFFFFFFFFu));
    EXPECT_EQ(1, res.at(2, 0));
}

TEST_F(Morph, BinaryBuildMatchesReferenceForEverySize) {
    for (Frame f : frames_) {
        frames(f.x, f.y, f.w, f.h);
        for (double p : densities)
            for (int size : {-1, 0, 1, 2, 5}) {
                Img marker(8), mask(8), want(8), work(8);
                random01(mask, p);
                random01(marker, 0.03);
                copyframe(marker, want);
                // One image: 0 outside the mask, 1 in it, 2 on the marker.
                for (int y = 0; y < ifh; ++y)
                    for (int x = 0; x < ifw; ++x)
                        work.at(x, y) = uint8_t(mask.at(x, y) ? (marker.at(x, y) ? 2 : 1) : 0);
                binreach(work.h, uint32_t(size));
                refbinbuild(want, mask, size);
                for (int y = 0; y < ifh; ++y)
                    for (int x = 0; x < ifw; ++x) work.at(x, y) = work.at(x, y) >= 2;
                expectsame(want, work, "binreach size " + std::to_string(size));
            }
    }
}

TEST_F(Morph, InfluenceZonesMatchReference) {
    for (Frame f : frames_) {
        frames(f.x, f.y, f.w, f.h);
        for (double p : densities) {
            Img labels(8), mask(8), mask2(8), want(8);
            random01(mask, p);
            copyframe(mask, mask2);
            randomgrey(labels, 256);
            for (int y = 0; y < ifh; ++y)   // sparse labels
                for (int x = 0; x < ifw; ++x)
                    if (rng() % 16) labels.at(x, y) = 0;
            copyframe(labels, want);
            binbuild(labels.h, mask.h, -1);
            refbinbuild(want, mask2, -1);
            expectsame(want, labels, "skiz");
        }
    }
}

TEST_F(Morph, GreyBuildMatchesHierarchicalFlooding) {
    for (Frame f : frames_) {
        frames(f.x, f.y, f.w, f.h);
        for (int levels : {2, 5, 256}) {
            Img marker(8), mask(8), want(8), wantmask(8), queued(8);
            randomgrey(mask, levels);
            randomgrey(marker, levels);
            if (levels == 256) relief(mask);
            copyframe(marker, want);
            copyframe(mask, wantmask);
            refgreybuild(want, wantmask);
            // The library's own hierarchical flooding from the same seeds.
            copyframe(marker, queued);
            for (int y = 0; y < ifh; ++y)
                for (int x = 0; x < ifw; ++x) queued.at(x, y) = std::min(queued.at(x, y), mask.at(x, y));
            hqgreyput(queued.h);
            greypropagation(queued.h, mask.h);
            expectsame(want, queued, "greypropagation");
            greybuild(marker.h, mask.h);
            expectsame(want, marker, "greybuild");
            EXPECT_EQ(0, queue.nseg);
        }
    }
}

TEST_F(Morph, GreyBuildOfMarkerAboveMaskIsMask) {
    frames(5, 5, 19, 7);
    Img marker(8), mask(8);
    randomgrey(mask, 256);
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) marker.at(x, y) = uint8_t(std::max<int>(mask.at(x, y), rng() % 256));
    greybuild(marker.h, mask.h);
    expectsame(mask, marker, "marker above mask");
}

TEST_F(Morph, WatershedMatchesReference) {
    for (Frame f : frames_) {
        frames(f.x, f.y, f.w, f.h);
        for (int nmarks : {0, 1, 3, 20}) {
            Img labels(8), rel(8), want(8);
            relief(rel);
            randomgrey(labels, 1);   // all 0
            for (int k = 0; k < nmarks; ++k) labels.at(int(rng() % unsigned(ifw)), int(rng() % unsigned(ifh))) = uint8_t(1 + rng() % 255);
            copyframe(labels, want);
            watershed(labels.h, rel.h);
            refwatershed(want, rel);
            expectsame(want, labels, "watershed");
        }
    }
}

TEST_F(Morph, WatershedFromOnePixelFloodsTheFrame) {
    frames(0, 0, 9, 4);
    Img labels(8), rel(8);
    randomgrey(rel, 256);
    randomgrey(labels, 1);
    labels.at(8, 3) = 77;
    watershed(labels.h, rel.h);
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) ASSERT_EQ(77, labels.at(x, y));
}

TEST_F(Morph, ThinningMatchesReference) {
    for (Frame f : frames_) {
        frames(f.x, f.y, f.w, f.h);
        for (double p : {0.3, 0.7, 0.95})
            for (int size : {-1, 0, 1, 3}) {
                // Random pairs, plus a classic pair: remove pixels with a
                // background west neighbour and object east.
                std::vector<std::pair<int, int>> pairs = {{32, 2}};
                for (int k = 0; k < 3; ++k) pairs.push_back({int(rng() % 512) & ~1, int(rng() % 512) & int(rng() % 512)});
                std::vector<int32_t> flat;
                for (auto [a, b] : pairs) flat.push_back(a), flat.push_back(b);
                uint8_t table[512];
                thintable(flat.data(), int(pairs.size()), table);
                Img ima(8), want(8), block(1);
                random01(ima, p);
                copyframe(ima, want);
                randombin(block, 0.05);
                const bool useblock = size == 1;
                thinqueue(ima.h, table, size, useblock ? block.h : -1);
                refthin(want, pairs, size, useblock ? &block : nullptr);
                expectsame(want, ima, "thinqueue size " + std::to_string(size));
            }
    }
}

TEST_F(Morph, ThinTableFollowsOnOffPairs) {
    uint8_t table[512];
    thintable(nullptr, 0, table);
    for (int c = 0; c < 512; ++c) ASSERT_EQ(0, table[c]);
    const int32_t pair[2] = {2, 32 | 1};   // east background, west and centre object
    thintable(pair, 1, table);
    EXPECT_EQ(1, table[33]);
    EXPECT_EQ(1, table[33 | 4]);
    EXPECT_EQ(0, table[33 | 2]);
    EXPECT_EQ(0, table[1]);
}

TEST_F(Morph, ConversionsRoundTripWithPaddingCleared) {
    for (Frame f : frames_) {
        frames(f.x, f.y, f.w, f.h);
        Img b(1), g(8), back(1);
        randombin(b, 0.5);
        morph_bingrey(b.h, g.h);
        for (int y = 0; y < ifh; ++y)
            for (int x = 0; x < ifw; ++x) ASSERT_EQ((b.d()[y * ifw_bin + x / 8] >> (x % 8)) & 1, g.at(x, y));
        std::memset(back.d(), 0xFF, imarray[back.h].nbytes);
        morph_greybin(g.h, back.h);
        EXPECT_EQ(0, std::memcmp(b.d(), back.d(), imarray[b.h].nbytes));
    }
}

// ------------------------------------------------- stops and queue memory

TEST_F(Morph, UserBreakLeavesQueuesUsableForTheNextOperator) {
    frames(0, 0, 600, 500);
    Img mask(8), mask2(8), res(8), want(8);
    random01(mask, 0.55);
    copyframe(mask, mask2);
    int polls = 0;
    static int *counter;
    counter = &polls;
    ima_poll = [] {
        if (++*counter == 1) throw ImaFailure("break");
    };
    EXPECT_THROW(label(res.h, mask.h, 0xFFFFFFFFu), ImaFailure);
    EXPECT_GT(queue.nseg + (queue.head != queue.tail), 0);   // stopped with work queued
    ima_poll = nullptr;
    uint32_t n = label(res.h, mask.h, 0xFFFFFFFFu);
    EXPECT_EQ(reflabel(want, mask2, 0xFFFFFFFFu), n);
    expectsame(want, res, "label after a break");
    EXPECT_EQ(0, queue.nseg);

    // The same for the hierarchical queue.
    Img marker(8), rel(8), wantw(8);
    relief(rel);
    randomgrey(marker, 1);
    marker.at(3, 3) = 9;
    marker.at(590, 400) = 4;
    copyframe(marker, wantw);
    polls = 0;
    ima_poll = [] {
        if (++*counter == 1) throw ImaFailure("break");
    };
    EXPECT_THROW(watershed(marker.h, rel.h), ImaFailure);
    ima_poll = nullptr;
    copyframe(wantw, marker);
    watershed(marker.h, rel.h);
    refwatershed(wantw, rel);
    expectsame(wantw, marker, "watershed after a break");
    for (const s_queue &q : hqueue) ASSERT_EQ(0, q.nseg);
}

TEST_F(Morph, DistanceLimitLeavesEntriesThatTheNextSeedingDiscards) {
    frames(0, 0, 200, 200);
    Img work(8), mask(8), res(8), want(8);
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) work.at(x, y) = 1;
    work.at(100, 100) = 2;
    binreach(work.h, 50);   // stops with the 51st front queued
    EXPECT_GT(queue.nseg, 0);
    int reached = 0;
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) reached += work.at(x, y) >= 2;
    EXPECT_EQ(101 * 101, reached);
    random01(mask, 0.5);
    Img mask2(8);
    copyframe(mask, mask2);
    EXPECT_EQ(reflabel(want, mask2, 0xFFFFFFFFu), label(res.h, mask.h, 0xFFFFFFFFu));
    expectsame(want, res, "label after a limited build");
    EXPECT_EQ(0, queue.nseg);
}

TEST_F(Morph, LabelsLargestCheckerboard) {
    frames(0, 0, 4096, 4096);
    Img mask(8), res(8);
    std::memset(mask.d(), 0xAB, imarray[mask.h].nbytes);   // border garbage
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) mask.at(x, y) = uint8_t((x + y) & 1);
    EXPECT_EQ(1u, label(res.h, mask.h, 0xFFFFFFFFu));   // diagonal contact joins all
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) ASSERT_EQ((x + y) & 1, res.at(x, y));
    // Isolated pixels on even rows and columns: 2048 x 2048 components, the
    // labels wrapping many times.
    for (int y = 0; y < ifh; ++y)
        for (int x = 0; x < ifw; ++x) mask.at(x, y) = uint8_t((y % 2 == 0) && (x % 2 == 0));
    EXPECT_EQ(2048u * 2048u, label(res.h, mask.h, 0xFFFFFFFFu));
    EXPECT_EQ(labelvalue(2048u * 2048u - 1), res.at(4094, 4094));
}

}  // namespace
