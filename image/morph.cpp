// Propagation operators on the pixel queues (see morph.h).
#include "image/morph.h"
#include "image/base.h"
#include "image/intern.h"
#include "image/queue.h"

#include <algorithm>
#include <cstring>
#include <vector>


namespace {

// Calls ima_poll after every MORPH_POLLSTEP pixels of work.
struct Poller {
    long left = MORPH_POLLSTEP;
    void tick(long n = 1) {
        left -= n;
        if (left <= 0) {
            left = MORPH_POLLSTEP;
            if (ima_poll) ima_poll();
        }
    }
};

inline uint8_t *pixels(int h) { return imarray[h].data; }

// The eight neighbour offsets in propagation order: NW, N, NE, W, E, SW, S, SE.
struct Offsets {
    long d[8];
    Offsets() {
        const long W = ifw_grey;
        const long o[8] = {-W - 1, -W, -W + 1, -1, 1, W - 1, W, W + 1};
        std::copy(o, o + 8, d);
    }
};

// Sets the one-pixel border ring of a grey image of the frame to v.
void setborder(uint8_t *g, uint8_t v) {
    const size_t W = size_t(ifw_grey);
    std::memset(g, v, W);
    std::memset(g + W * size_t(ifh + 1), v, W);
    for (int y = 1; y <= ifh; ++y) {
        g[W * size_t(y)] = v;
        g[W * size_t(y) + W - 1] = v;
    }
}

// Calls f(p) for every frame pixel position in raster order; f returns false
// to stop.
template <class F>
void eachpixel(F f) {
    const size_t W = size_t(ifw_grey);
    for (int y = 0; y < ifh; ++y) {
        size_t p = (size_t(y) + 1) * W + 1;
        for (int x = 0; x < ifw; ++x, ++p)
            if (!f(uint32_t(p))) return;
    }
}

// Open-pixel tests of a span fill, byte by byte: at(q) tells whether q is
// open; next(q, e) is the first open position in q..e (e + 1 if none);
// last(q, limit) the last open position of the run that starts at the open
// q, limit being a closed position at or after its end.
template <class Test>
struct ByteOpen {
    Test at;
    long next(long q, long e) const {
        while (q <= e && !at(q)) ++q;
        return q;
    }
    long last(long q, long) const {
        while (at(q + 1)) ++q;
        return q;
    }
};

// Labelling's test, mask non-zero and result still 0, eight pixels a word.
struct LabelOpen {
    const uint8_t *m, *r;
    static uint64_t load(const uint8_t *p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    // 0x80 in every byte of the word that is non-zero.
    static uint64_t nonzero(uint64_t x) {
        constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
        return (((x & low7) + low7) | x) & ~low7;
    }
    uint64_t openbits(long q) const { return nonzero(load(m + q)) & ~nonzero(load(r + q)); }
    bool at(long q) const { return m[q] && !r[q]; }
    long next(long q, long e) const {
        for (; q + 7 <= e; q += 8)
            if (uint64_t b = openbits(q)) return q + __builtin_ctzll(b) / 8;
        while (q <= e && !at(q)) ++q;
        return q;
    }
    long last(long q, long limit) const {
        for (; q + 8 <= limit; q += 8)
            if (uint64_t b = ~openbits(q + 1) & 0x8080808080808080ull) return q + __builtin_ctzll(b) / 8;
        while (at(q + 1)) ++q;
        return q;
    }
};

// Fills the 8-connected set of open pixels that contains seed, whole row
// runs at a time: mark(s, t) must close the pixels s..t. The queue holds the
// runs still to look around (first and last position). Which pixels end up
// marked does not depend on the order, so this is used wherever only the
// set matters (labelling, unlimited binary reconstruction).
template <class Open, class Mark>
void spanfill(uint32_t seed, const Open &open, Mark mark, Poller &poll) {
    const long W = ifw_grey;
    long l = seed;
    while (open.at(l - 1)) --l;
    const long r = open.last(seed, (long(seed) / W + 1) * W - 1);
    mark(l, r);
    qput(uint32_t(l), uint32_t(r));
    uint32_t a, b;
    for (;;) {
        qget(&a, &b);
        if (a == QEMPTY) return;
        const long rowend = (long(a) / W + 1) * W - 1;   // right border of the run's row
        for (long d : {-W, W}) {
            long q = long(a) - 1 + d;
            const long e = long(b) + 1 + d;
            for (;;) {
                q = open.next(q, e);
                if (q > e) break;
                long s = q;
                while (open.at(s - 1)) --s;
                const long t = open.last(q, rowend + d);
                mark(s, t);
                qput(uint32_t(s), uint32_t(t));
                q = t + 2;   // t + 1 is closed
            }
        }
        poll.tick(long(b) - long(a) + 1);
    }
}

}  // namespace

// ------------------------------------------------------------- labelling

uint32_t label(int result, int mask, uint32_t max) {
    queuefree(&queue);
    uint8_t *res = pixels(result), *m = pixels(mask);
    std::memset(res, 0, size_t(ifw_grey) * size_t(ifh_grey));
    setborder(m, 0);
    if (max == 0) return 0;
    uint32_t count = 0;
    Poller poll;
    const LabelOpen open{m, res};
    const long W = ifw_grey;
    for (int y = 0; y < ifh; ++y) {
        const long e = (long(y) + 1) * W + ifw;   // last pixel of the row
        for (long p = e - ifw + 1;; ++p) {
            p = open.next(p, e);
            if (p > e) break;
            const uint8_t v = labelvalue(count);
            spanfill(uint32_t(p), open, [&](long s, long t) { std::memset(res + s, v, size_t(t - s + 1)); }, poll);
            if (++count == max) return count;
        }
    }
    return count;
}

// -------------------------------------------------------- binary propagation

void binpropagation(int marker, int mask, uint32_t maxdist) {
    uint8_t *mk = pixels(marker), *ms = pixels(mask);
    setborder(ms, 0);
    const Offsets nb;
    Poller poll;
    uint32_t p, d = 0;
    for (;;) {
        qget(&p, &d);
        if (p == QEMPTY || d == maxdist) return;
        for (long o : nb.d) {
            const long q = long(p) + o;
            if (!mk[q] && ms[q]) {
                mk[q] = mk[p];
                qput(uint32_t(q), d + 1);
            }
        }
        poll.tick();
    }
}

void binbuild(int marker, int mask, int size) {
    uint8_t *mk = pixels(marker);
    const uint8_t *ms = pixels(mask);
    eachpixel([&](uint32_t p) {
        if (!ms[p]) mk[p] = 0;
        return true;
    });
    qbinput(marker);
    binpropagation(marker, mask, uint32_t(size));
}

void binreach(int ima, uint32_t size) {
    queuefree(&queue);
    uint8_t *g = pixels(ima);
    setborder(g, 0);
    Poller poll;
    if (size == 0xFFFFFFFFu) {
        // Unlimited: the mask components that hold a marker pixel, filled
        // with 3 run by run.
        auto test = [g](long q) { return g[q] == 1 || g[q] == 2; };
        const ByteOpen<decltype(test)> open{test};
        auto mark = [&](long s, long t) { std::memset(g + s, 3, size_t(t - s + 1)); };
        eachpixel([&](uint32_t p) {
            if (g[p] == 2) spanfill(p, open, mark, poll);
            return true;
        });
        return;
    }
    const long W = ifw_grey;
    eachpixel([&](uint32_t p) {
        if (g[p] == 2 && (g[p - W] != 2 || g[p - 1] != 2 || g[p + 1] != 2 || g[p + W] != 2)) qput(p, 0);
        return true;
    });
    const Offsets nb;
    uint32_t p, d = 0;
    for (;;) {
        qget(&p, &d);
        if (p == QEMPTY || d == size) return;
        for (long o : nb.d) {
            const long q = long(p) + o;
            if (g[q] == 1) {
                g[q] = 2;
                qput(uint32_t(q), d + 1);
            }
        }
        poll.tick();
    }
}

// ------------------------------------------------------- grey reconstruction

// Two raster scans carry the marker as far as each scan direction allows;
// the pixels that could still raise a neighbour are queued and finished
// breadth-first. Grey reconstruction has a unique result, the same as the
// hierarchical-queue flooding of greypropagation.
void greybuild(int marker, int mask) {
    queuefree(&queue);
    uint8_t *J = pixels(marker);
    const uint8_t *I = pixels(mask);
    setborder(pixels(mask), 0);
    setborder(J, 0);
    const long W = ifw_grey;
    std::vector<uint8_t> row(size_t(ifw) + 2);
    uint8_t *t = row.data();
    Poller poll;
    for (int y = 0; y < ifh; ++y) {
        uint8_t *j = J + (y + 1) * W + 1;
        const uint8_t *i = I + (y + 1) * W + 1;
        const uint8_t *u = j - W;
        for (int x = 0; x < ifw; ++x) t[x] = std::max(std::max(j[x], u[x - 1]), std::max(u[x], u[x + 1]));
        uint8_t run = 0;
        for (int x = 0; x < ifw; ++x) j[x] = run = std::min(i[x], std::max(t[x], run));
        poll.tick(ifw);
    }
    for (int y = ifh - 1; y >= 0; --y) {
        uint8_t *j = J + (y + 1) * W + 1;
        const uint8_t *i = I + (y + 1) * W + 1;
        const uint8_t *dn = j + W;
        const uint8_t *idn = i + W;
        for (int x = 0; x < ifw; ++x) t[x] = std::max(std::max(j[x], dn[x - 1]), std::max(dn[x], dn[x + 1]));
        uint8_t run = 0;
        for (int x = ifw - 1; x >= 0; --x) j[x] = run = std::min(i[x], std::max(t[x], run));
        for (int x = 0; x < ifw; ++x) {
            const uint8_t v = j[x];
            if ((j[x + 1] < v && j[x + 1] < i[x + 1]) || (dn[x - 1] < v && dn[x - 1] < idn[x - 1]) ||
                (dn[x] < v && dn[x] < idn[x]) || (dn[x + 1] < v && dn[x + 1] < idn[x + 1]))
                qput(uint32_t(j + x - J), 0);
        }
        poll.tick(ifw);
    }
    const Offsets nb;
    uint32_t p, d;
    for (;;) {
        qget(&p, &d);
        if (p == QEMPTY) return;
        const uint8_t v = J[p];
        for (long o : nb.d) {
            const long q = long(p) + o;
            if (J[q] < v && J[q] != I[q]) {
                J[q] = std::min(v, I[q]);
                qput(uint32_t(q), 0);
            }
        }
        poll.tick();
    }
}

void greypropagation(int result, int mask) {
    uint8_t *R = pixels(result);
    const uint8_t *I = pixels(mask);
    std::memset(R, 0, size_t(ifw_grey) * size_t(ifh_grey));
    setborder(R, 255);
    const long W = ifw_grey;
    const long nine[9] = {-W - 1, -W, -W + 1, -1, 0, 1, W - 1, W, W + 1};
    Poller poll;
    for (int L = 255; L >= 1; --L) {
        uint32_t p;
        for (;;) {
            hqget(L, &p);
            if (p == QEMPTY) break;
            for (long o : nine) {
                const long q = long(p) + o;
                if (R[q]) continue;
                if (I[q] >= L) {
                    R[q] = uint8_t(L);
                    hqput(L, uint32_t(q));
                } else if (I[q]) {   // level 0 is never processed: not queued
                    R[q] = I[q];
                    hqput(I[q], uint32_t(q));
                }
            }
            poll.tick();
        }
    }
}

// ----------------------------------------------------------------- watershed

void watershed(int labels, int relief) {
    hqseedlabel(labels);
    labelpropagation(labels, relief);
}

void labelpropagation(int labels, int relief) {
    uint8_t *lab = pixels(labels);
    const uint8_t *rel = pixels(relief);
    setborder(lab, 255);
    const Offsets nb;
    Poller poll;
    for (int L = 0; L < HQLEVELS; ++L) {
        uint32_t p;
        for (;;) {
            hqget(L, &p);
            if (p == QEMPTY) break;
            const uint8_t v = lab[p];
            for (long o : nb.d) {
                const long n = long(p) + o;
                if (lab[n]) continue;
                lab[n] = v;
                hqput(std::max<int>(rel[n], L), uint32_t(n));
            }
            poll.tick();
        }
    }
}

// ------------------------------------------------------------------ thinning

void thintable(const int32_t *on_off, int npairs, uint8_t table[512]) {
    for (int c = 0; c < 512; ++c) {
        table[c] = 0;
        for (int i = 0; i < npairs && !table[c]; ++i) {
            const int32_t a = on_off[2 * i], b = on_off[2 * i + 1];
            if ((c & a) == 0 && (c & b) == b) table[c] = 1;
        }
    }
}

void thinqueue(int ima, const uint8_t *table, int size, int block) {
    qbinput(ima);
    if (block >= 0) greymask(2, block, ima, OP_CONST);
    thinpropagation(ima, table, uint32_t(size));
}

void thinpropagation(int ima, const uint8_t *table, uint32_t size) {
    uint8_t *g = pixels(ima);
    setborder(g, 0);
    const long W = ifw_grey;
    // Neighbours in propagation order with their code bits.
    const long off[8] = {-W - 1, -W, -W + 1, -1, 1, W - 1, W, W + 1};
    const int bit[8] = {64, 128, 256, 32, 2, 16, 8, 4};
    Poller poll;
    uint32_t p, d = 0;
    for (;;) {
        qget(&p, &d);
        if (p == QEMPTY || d == size) return;
        poll.tick();
        if (g[p] == 0 || g[p] == 2) continue;
        int code = 1;
        for (int k = 0; k < 8; ++k)
            if (g[long(p) + off[k]]) code |= bit[k];
        if (!table[code]) continue;
        g[p] = 0;
        for (int k = 0; k < 8; ++k)
            if (code & bit[k]) qput(uint32_t(long(p) + off[k]), d + 1);
    }
}

// --------------------------------------------------------------- conversions

// Eight grey bytes 0/1 for each bit pattern of a binary byte.
static const struct Spread {
    uint64_t v[256];
    constexpr Spread() : v() {
        for (int b = 0; b < 256; ++b)
            for (int k = 0; k < 8; ++k) v[b] |= uint64_t((b >> k) & 1) << (8 * k);
    }
} spread;

void morph_bingrey(int bin, int grey) {
    const uint8_t *b = pixels(bin);
    uint8_t *g = pixels(grey);
    setborder(g, 0);
    for (int y = 0; y < ifh; ++y) {
        const uint8_t *row = b + size_t(y) * size_t(ifw_bin);
        uint8_t *out = g + (size_t(y) + 1) * size_t(ifw_grey) + 1;
        int x = 0;
        for (; x + 8 <= ifw; x += 8) std::memcpy(out + x, &spread.v[row[x >> 3]], 8);   // little-endian: bit k -> byte k
        for (; x < ifw; ++x) out[x] = (row[x >> 3] >> (x & 7)) & 1;
    }
}

void morph_greybin(int grey, int bin, int least) {
    const uint8_t *g = pixels(grey);
    uint8_t *b = pixels(bin);
    for (int y = 0; y < ifh; ++y) {
        const uint8_t *in = g + (size_t(y) + 1) * size_t(ifw_grey) + 1;
        uint8_t *row = b + size_t(y) * size_t(ifw_bin);
        for (int x0 = 0; x0 < ifw; x0 += 8) {
            const int n = std::min(8, ifw - x0);
            unsigned byte = 0;
            for (int k = 0; k < n; ++k) byte |= unsigned(in[x0 + k] >= least) << k;
            row[x0 >> 3] = uint8_t(byte);
        }
    }
}

void morph_markbin(int bin, int grey, int value) {
    const uint8_t *b = pixels(bin);
    uint8_t *g = pixels(grey);
    for (int y = 0; y < ifh; ++y) {
        const uint8_t *row = b + size_t(y) * size_t(ifw_bin);
        uint8_t *out = g + (size_t(y) + 1) * size_t(ifw_grey) + 1;
        for (int x = 0; x < ifw; ++x)
            if (((row[x >> 3] >> (x & 7)) & 1) && out[x]) out[x] = uint8_t(value);
    }
}
