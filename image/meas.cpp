// Measurements over the measure frame (see meas.h).
#include "image/meas.h"
#include "image/intern.h"

#include <algorithm>
#include <cstring>

namespace {

// The measure frame relative to the image frame: first column and row, size.
struct Window {
    int c0, r0, w, h;
    bool empty() const { return w <= 0 || h <= 0; }
};
Window window() { return {mfx - ifx, mfy - ify, mfw, mfh}; }

// First measured pixel of row r (frame-relative) of a grey image.
inline const uint8_t *greyrow(int grey, const Window &m, int r) {
    return imarray[grey].data + size_t(m.r0 + r + 1) * size_t(ifw_grey) + size_t(m.c0) + 1;
}

// Calls f(label row, x, y) for every measured row, x and y in plane
// coordinates of the row's first measured pixel.
template <class F>
void eachrow(int grey, F f) {
    const Window m = window();
    if (m.empty()) return;
    for (int r = 0; r < m.h; ++r) f(greyrow(grey, m, r), mfx, mfy + r, m.w);
}

template <class F>
void eachrow2(int a, int b, F f) {
    const Window m = window();
    if (m.empty()) return;
    for (int r = 0; r < m.h; ++r) f(greyrow(a, m, r), greyrow(b, m, r), m.w);
}

void fill(s_feature *buf, int64_t a, int64_t b, int64_t c, int64_t d) {
    for (int i = 0; i < FEAT_LABELS; ++i) buf[i] = {{a, b, c, d}};
}

}  // namespace

void greymeas(int grey, int *min, int *max, double *mean) {
    uint8_t lo = 255, hi = 0;
    uint64_t sum = 0;
    eachrow(grey, [&](const uint8_t *p, int, int, int w) {
        uint8_t rlo = 255, rhi = 0;
        uint32_t rsum = 0;   // at most 4096 * 255 per row
        for (int i = 0; i < w; ++i) {
            rlo = std::min(rlo, p[i]);
            rhi = std::max(rhi, p[i]);
            rsum += p[i];
        }
        lo = std::min(lo, rlo);
        hi = std::max(hi, rhi);
        sum += rsum;
    });
    *min = lo;
    *max = hi;
    *mean = (mfw > 0 && mfh > 0) ? double(sum) / (double(mfw) * double(mfh)) : 0.0;
}

int64_t greysum(int grey) {
    uint64_t sum = 0;
    eachrow(grey, [&](const uint8_t *p, int, int, int w) {
        uint32_t rsum = 0;
        for (int i = 0; i < w; ++i) rsum += p[i];
        sum += rsum;
    });
    return int64_t(sum);
}

// Set bits of a 64-bit word, in plain arithmetic that the compiler can
// vectorise (no popcount instruction is assumed).
inline uint64_t bits64(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (x * 0x0101010101010101ull) >> 56;
}

// Set bits of columns c0 .. c0 + w - 1 of each measured row.
int64_t binsum(int bin) {
    const Window m = window();
    if (m.empty()) return 0;
    int64_t count = 0;
    const int c1 = m.c0 + m.w;   // one past the last column
    for (int r = 0; r < m.h; ++r) {
        const uint8_t *row = imarray[bin].data + size_t(m.r0 + r) * size_t(ifw_bin);
        int c = m.c0;
        // Leading partial byte.
        while (c < c1 && (c & 7)) {
            count += (row[c >> 3] >> (c & 7)) & 1;
            ++c;
        }
        // Whole bytes, eight at a time where possible.
        for (; c + 64 <= c1; c += 64) {
            uint64_t word;
            std::memcpy(&word, row + (c >> 3), 8);
            count += int64_t(bits64(word));
        }
        for (; c + 8 <= c1; c += 8) count += int64_t(bits64(row[c >> 3]));
        for (; c < c1; ++c) count += (row[c >> 3] >> (c & 7)) & 1;
    }
    return count;
}

void histogram(int grey, uint32_t counts[256]) {
    // Four interleaved tables keep successive equal values from waiting on
    // each other's increments.
    static uint32_t part[4][256];
    std::memset(part, 0, sizeof part);
    eachrow(grey, [&](const uint8_t *p, int, int, int w) {
        int i = 0;
        for (; i + 4 <= w; i += 4) {
            ++part[0][p[i]];
            ++part[1][p[i + 1]];
            ++part[2][p[i + 2]];
            ++part[3][p[i + 3]];
        }
        for (; i < w; ++i) ++part[0][p[i]];
    });
    for (int v = 0; v < 256; ++v) counts[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
}

// ------------------------------------------------------------------ features

void f_fpoint(int label, s_feature *buf) {
    fill(buf, -1, -1, 0, 0);
    int missing = FEAT_LABELS;   // labels not yet seen: the scan can stop at 0
    eachrow(label, [&](const uint8_t *p, int x0, int y, int w) {
        if (!missing) return;
        for (int i = 0; i < w; ++i) {
            s_feature &f = buf[p[i]];
            if (f.v[0] < 0) {
                f.v[0] = x0 + i;
                f.v[1] = y;
                --missing;
            }
        }
    });
}

void f_mpoint(int label, s_feature *buf) {
    fill(buf, 0, 0, 0, 0);
    uint32_t rowcount[FEAT_LABELS];
    eachrow(label, [&](const uint8_t *p, int x0, int y, int w) {
        std::memset(rowcount, 0, sizeof rowcount);
        for (int i = 0; i < w; ++i) {
            buf[p[i]].v[0] += x0 + i;
            ++rowcount[p[i]];
        }
        for (int l = 0; l < FEAT_LABELS; ++l)
            if (rowcount[l]) {
                buf[l].v[1] += int64_t(y) * rowcount[l];
                buf[l].v[2] += rowcount[l];
            }
    });
}

void f_rect(int label, s_feature *buf) {
    fill(buf, FEAT_NORECT, FEAT_NORECT, 0, 0);
    eachrow(label, [&](const uint8_t *p, int x0, int y, int w) {
        for (int i = 0; i < w; ++i) {
            s_feature &f = buf[p[i]];
            const int64_t x = x0 + i;
            f.v[0] = std::min(f.v[0], x);
            f.v[2] = std::max(f.v[2], x);
            f.v[1] = std::min<int64_t>(f.v[1], y);
            f.v[3] = y;   // rows only grow
        }
    });
    for (int l = 0; l < FEAT_LABELS; ++l) {
        buf[l].v[2] = buf[l].v[2] - buf[l].v[0] + 1;
        buf[l].v[3] = buf[l].v[3] - buf[l].v[1] + 1;
    }
}

void f_area(int label, s_feature *buf) {
    uint32_t counts[256];
    histogram(label, counts);
    for (int l = 0; l < FEAT_LABELS; ++l) buf[l] = {{counts[l], 0, 0, 0}};
}

void f_volume(int label, int grey, s_feature *buf) {
    fill(buf, 0, 0, 0, 0);
    eachrow2(label, grey, [&](const uint8_t *lab, const uint8_t *g, int w) {
        for (int i = 0; i < w; ++i) buf[lab[i]].v[0] += g[i];
    });
}

void f_grey(int label, int grey, s_feature *buf) {
    fill(buf, 255, 0, 0, 0);
    eachrow2(label, grey, [&](const uint8_t *lab, const uint8_t *g, int w) {
        for (int i = 0; i < w; ++i) {
            s_feature &f = buf[lab[i]];
            f.v[0] = std::min<int64_t>(f.v[0], g[i]);
            f.v[1] = std::max<int64_t>(f.v[1], g[i]);
        }
    });
}
