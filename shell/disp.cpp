// The shared display picture, lookup table and their lock.
#include "shell/disp.h"

#include <cstdio>

s_display Ima;
uint8_t Lut[256][3];
std::mutex CSection;

void lutidentity() {
    for (int i = 0; i < 256; ++i) Lut[i][0] = Lut[i][1] = Lut[i][2] = uint8_t(i);
}

bool dispvalue(int64_t x, int64_t y, char *out, size_t room) {
    if (room > 0) out[0] = '\0';
    // Compared before subtracting: x and y may be anything.
    if (x < Ima.x0 || y < Ima.y0 || !Ima.pixels || room == 0) return false;
    x -= Ima.x0;
    y -= Ima.y0;
    if (x >= Ima.w || y >= Ima.h) return false;
    const size_t w = size_t(Ima.w), row = size_t(y), col = size_t(x);
    switch (Ima.depth) {
    case 1:
        if (!Ima.values) return false;
        snprintf(out, room, "%d", (Ima.values[row * ((w + 7) / 8) + col / 8] >> (col & 7)) & 1);
        return true;
    case 8:
        if (!Ima.values) return false;
        snprintf(out, room, "%d", Ima.values[row * w + col]);
        return true;
    case 24: {
        const uint8_t *p = (Ima.values ? Ima.values : Ima.pixels) + 3 * (row * w + col);
        snprintf(out, room, "(%d %d %d)", p[0], p[1], p[2]);
        return true;
    }
    default:
        return false;
    }
}
