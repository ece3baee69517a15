// Camera module utilities: option strings, colour byte order, Bayer
// demosaicking, clock and sleep.
#include "camera/cutil.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <sys/time.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

bool white(char c) { return isspace((unsigned char)c) != 0; }

// The first case-insensitive occurrence of key in s, or null.
const char *findkey(const char *s, const char *key) {
    size_t n = strlen(key);
    for (const char *p = s; *p; ++p)
        if (strncasecmp(p, key, n) == 0) return p;
    return nullptr;
}

// Where the value of key starts in s (just after the '='), or null when the
// key is absent by the rules of the lookup.
const char *optvalue(const char *s, const char *key) {
    if (!optp(s) || !key || !*key) return nullptr;
    const char *p = findkey(s, key);
    if (!p) return nullptr;
    if (p != s && !white(p[-1])) return nullptr;
    p += strlen(key);
    if (p[0] != '=' || p[1] == '\0') return nullptr;
    return p + 1;
}

// strtol's value, clamped to the int range.
int decimal(const char *v) {
    long n = strtol(v, nullptr, 10);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return int(n);
}

// Output pixel x (1 <= x <= w - 2) of an inner row from the 3 x 3
// neighbourhood in the rows up, row, down.
inline void debayerpixel(const unsigned char *up, const unsigned char *row,
                         const unsigned char *down, size_t x, bool oddrow, unsigned char *out) {
    int c = row[x];
    int cross = (row[x - 1] + row[x + 1] + up[x] + down[x]) / 4;
    int diag = (up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1]) / 4;
    int horiz = (row[x - 1] + row[x + 1]) / 2;
    int vert = (up[x] + down[x]) / 2;
    int r, g, b;
    if (!oddrow) {
        if (x % 2 == 0) r = c, g = cross, b = diag;   // red site
        else r = horiz, g = c, b = vert;               // green in a red row
    } else {
        if (x % 2 == 0) r = vert, g = c, b = horiz;    // green in a blue row
        else r = diag, g = cross, b = c;               // blue site
    }
    out[0] = (unsigned char)r;
    out[1] = (unsigned char)g;
    out[2] = (unsigned char)b;
}

#if defined(__x86_64__) || defined(__i386__)
// The same pixels 16 at a time with SSSE3, bit for bit. Sums of four are
// taken in 16 bits; the mean of two is the rounded-up byte average minus
// the odd bit. Output is interleaved with byte shuffles: byte j of output
// register part takes sample (16 part + j) / 3 of plane (16 part + j) % 3.
using shuffletable = std::array<std::array<std::array<int8_t, 16>, 3>, 3>;
constexpr shuffletable makeshuffles() {
    shuffletable t{};
    for (int part = 0; part < 3; ++part)
        for (int plane = 0; plane < 3; ++plane)
            for (int j = 0; j < 16; ++j) {
                int pos = 16 * part + j;
                t[part][plane][j] = pos % 3 == plane ? int8_t(pos / 3) : int8_t(-128);
            }
    return t;
}
constexpr shuffletable Shuffles = makeshuffles();

#define SSSE3 __attribute__((target("ssse3")))
SSSE3 inline __m128i load16(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
SSSE3 inline __m128i half(__m128i a, __m128i b) {
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}
SSSE3 inline __m128i quarter(__m128i a, __m128i b, __m128i c, __m128i d) {
    __m128i z = _mm_setzero_si128();
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z)),
                               _mm_add_epi16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(d, z)));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z)),
                               _mm_add_epi16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(d, z)));
    return _mm_packus_epi16(_mm_srli_epi16(lo, 2), _mm_srli_epi16(hi, 2));
}
SSSE3 inline __m128i pick(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// From x = 1 in steps of 16 while the step's neighbours lie in the row;
// returns the first x left to do.
SSSE3 size_t debayerrow16(const unsigned char *up, const unsigned char *row,
                          const unsigned char *down, size_t w, bool oddrow, unsigned char *out) {
    // steps start at odd x: the even columns are the odd lanes
    const __m128i evencols = _mm_set1_epi16(int16_t(0xFF00));
    __m128i shuffle[3][3];
    for (int part = 0; part < 3; ++part)
        for (int plane = 0; plane < 3; ++plane)
            shuffle[part][plane] = load16(reinterpret_cast<const unsigned char *>(Shuffles[part][plane].data()));
    size_t x = 1;
    for (; x + 17 <= w; x += 16) {
        __m128i c = load16(row + x), l = load16(row + x - 1), r = load16(row + x + 1);
        __m128i u = load16(up + x), d = load16(down + x);
        __m128i horiz = half(l, r), vert = half(u, d), cross = quarter(l, r, u, d);
        __m128i diag = quarter(load16(up + x - 1), load16(up + x + 1), load16(down + x - 1), load16(down + x + 1));
        __m128i plane[3];
        if (!oddrow) {
            plane[0] = pick(evencols, c, horiz);
            plane[1] = pick(evencols, cross, c);
            plane[2] = pick(evencols, diag, vert);
        } else {
            plane[0] = pick(evencols, vert, diag);
            plane[1] = pick(evencols, c, cross);
            plane[2] = pick(evencols, horiz, c);
        }
        for (int part = 0; part < 3; ++part) {
            __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(plane[0], shuffle[part][0]),
                                                  _mm_shuffle_epi8(plane[1], shuffle[part][1])),
                                     _mm_shuffle_epi8(plane[2], shuffle[part][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * x + 16 * part), v);
        }
    }
    return x;
}
#undef SSSE3

size_t debayerrowfast(const unsigned char *up, const unsigned char *row, const unsigned char *down,
                      size_t w, bool oddrow, unsigned char *out) {
    static const bool ssse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return ssse3 ? debayerrow16(up, row, down, w, oddrow, out) : 1;
}
#else
size_t debayerrowfast(const unsigned char *, const unsigned char *, const unsigned char *, size_t,
                      bool, unsigned char *) {
    return 1;
}
#endif

}  // namespace

extern "C" {

int optp(const char *s) {
    if (!s) return 0;
    for (; *s; ++s)
        if (!white(*s)) return 1;
    return 0;
}

int opt2i(const char *s, const char *key, int *out) {
    const char *v = optvalue(s, key);
    if (!v) return 0;
    *out = decimal(v);
    return 1;
}

int opt2i64(const char *s, const char *key, int64_t *out) {
    const char *v = optvalue(s, key);
    if (!v) return 0;
    *out = int64_t(decimal(v));
    return 1;
}

int opt2a(const char *s, const char *key, char *dst, int dstlen) {
    const char *v = optvalue(s, key);
    if (!v || dstlen <= 0) return 0;
    size_t n = 0;
    while (v[n] && !white(v[n])) ++n;
    if (n >= size_t(dstlen)) return 0;
    memcpy(dst, v, n);
    dst[n] = '\0';
    return 1;
}

void swapcolors(unsigned char *data, int w, int h) {
    if (w <= 0 || h <= 0) return;
    size_t pixels = size_t(w) * size_t(h);
    for (size_t i = 0; i < pixels; ++i) {
        unsigned char t = data[3 * i];
        data[3 * i] = data[3 * i + 2];
        data[3 * i + 2] = t;
    }
}

void debayer(const unsigned char *raw, int w, int h, unsigned char *rgb) {
    if (w <= 0 || h <= 0) return;
    size_t W = size_t(w), rowbytes = 3 * W;
    // the frame of the output: first and last row, first and last column
    memset(rgb, 0, rowbytes);
    memset(rgb + (size_t(h) - 1) * rowbytes, 0, rowbytes);
    for (size_t y = 1; y + 1 < size_t(h); ++y) {
        const unsigned char *up = raw + (y - 1) * W, *row = up + W, *down = row + W;
        unsigned char *out = rgb + y * rowbytes;
        bool oddrow = y % 2 != 0;
        memset(out, 0, 3);
        memset(out + rowbytes - 3, 0, 3);
        size_t x = debayerrowfast(up, row, down, W, oddrow, out);
        for (; x + 1 < W; ++x) debayerpixel(up, row, down, x, oddrow, out + 3 * x);
    }
}

void (*campoll)();

void PollHost() {
    if (campoll) campoll();
}

void PollSleep(unsigned ms) {
    constexpr unsigned SLICE = 50;
    do {
        unsigned now = ms < SLICE ? ms : SLICE;
        Sleep(now);
        ms -= now;
        PollHost();
    } while (ms > 0);
}

}  // extern "C"
