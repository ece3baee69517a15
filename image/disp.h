// The display picture and the grey lookup table: the only data that the
// interpreter thread (which writes them) and the painting front end (which
// reads them) share. Every access holds CSection.
#pragma once

#include <cstdint>
#include <mutex>

struct s_display {
    int32_t x0, y0;      // the displayed image's top-left pixel in the plane
    int32_t w, h;        // its size
    uint8_t *pixels;     // w * h pixels of red, green, blue bytes, rows top down
};

extern s_display Ima;
extern uint8_t Lut[256][3];   // display colour of each grey value
extern std::mutex CSection;

// Sets Lut to the grey ramp (i, i, i). The caller holds CSection.
void lutidentity();
