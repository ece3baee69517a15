// Camera module utilities: option strings, colour byte order, Bayer
// demosaicking, clock and sleep.
#include "cutil.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <sys/time.h>

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
    for (size_t y = 0; y < size_t(h); ++y) {
        memset(rgb + y * rowbytes, 0, 3);
        memset(rgb + y * rowbytes + rowbytes - 3, 0, 3);
    }
    for (size_t y = 1; y + 1 < size_t(h); ++y) {
        const unsigned char *up = raw + (y - 1) * W, *row = raw + y * W, *down = raw + (y + 1) * W;
        unsigned char *out = rgb + y * rowbytes;
        for (size_t x = 1; x + 1 < W; ++x) {
            int c = row[x];
            int cross = (row[x - 1] + row[x + 1] + up[x] + down[x]) / 4;
            int diag = (up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1]) / 4;
            int horiz = (row[x - 1] + row[x + 1]) / 2;
            int vert = (up[x] + down[x]) / 2;
            int r, g, b;
            if (y % 2 == 0) {
                if (x % 2 == 0) r = c, g = cross, b = diag;   // red site
                else r = horiz, g = c, b = vert;               // green in a red row
            } else {
                if (x % 2 == 0) r = vert, g = c, b = horiz;    // green in a blue row
                else r = diag, g = cross, b = c;               // blue site
            }
            out[3 * x] = (unsigned char)r;
            out[3 * x + 1] = (unsigned char)g;
            out[3 * x + 2] = (unsigned char)b;
        }
    }
}

uint32_t GetTickCount() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return uint32_t(uint64_t(tv.tv_sec) * 1000u + uint64_t(tv.tv_usec) / 1000u);
}

void Sleep(unsigned ms) {
    struct timespec t = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {}
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
