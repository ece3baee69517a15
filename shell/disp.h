// The display picture and the grey lookup table: the only data that the
// interpreter thread (which writes them) and the painting front end (which
// reads them) share. Every access holds CSection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

struct s_display {
    int32_t x0, y0;      // the displayed image's top-left pixel in the plane
    int32_t w, h;        // its size
    uint8_t *pixels;     // w * h pixels of red, green, blue bytes, rows top down
    // The displayed image's own values, which the front end reads out under
    // the pointer (the picture holds display colours, overlays included):
    // depth 1, 8 or 24 as the image's, 0 when there are none (the icon).
    // `values` holds the rows without border, each as the image stores it:
    // (w + 7) / 8 bytes (bit 0 leftmost) for depth 1, w bytes for 8, 3 * w
    // for 24. For depth 24 it is NULL while `pixels` still holds the values
    // unchanged (no overlay laid over them).
    int32_t depth;
    uint8_t *values;
};

extern s_display Ima;
extern uint8_t Lut[256][3];   // display colour of each grey value
extern std::mutex CSection;

// Sets Lut to the grey ramp (i, i, i). The caller holds CSection.
void lutidentity();

// Writes the displayed image's value at the image-plane point (x, y) into
// out: the grey level ("17"), 0 or 1 for a binary image, "(r g b)" for a
// colour image. False, with out empty, when the point is outside the image
// or there are no values. The caller holds CSection.
bool dispvalue(int64_t x, int64_t y, char *out, size_t room);
