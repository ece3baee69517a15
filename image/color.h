// Colour operators on the image store's pixel blocks: splitting a colour
// image into grey planes and back, the 8-bit intensity-hue-saturation
// coding (intensity in the red byte, hue in units of pi/128 in the green
// byte, saturation in the blue byte), intensity, and distances to a
// reference colour 0xRRGGBB. All routines take image handles of images of
// the current image frame and work over the whole frame.
#pragma once

#include <cstdint>

// Red, green and blue bytes to / from the frame pixels of three grey images
// (grey borders are neither read nor written).
void colgrey(int col, int r, int g, int b);
void greycol(int r, int g, int b, int col);
// RGB to IHS and back, fixed-point and table driven.
void rgbihs(int col, int ihs);
void ihsrgb(int ihs, int col);
// grey = (R + G + B) / 3.
void intensity(int col, int grey);
// grey = min(255, trunc(distance in RGB space to the colour) / 2).
void colsphere(int col, int grey, int colour);
// grey = min(255, trunc(distance of the pixel scaled onto the plane through
// the colour perpendicular to it) / 2); 255 where the pixel is orthogonal
// to the colour.
void colcone(int col, int grey, int colour);

// The tables of the IHS conversions, exposed for tests.
const uint8_t *ihsacos();      // 513 entries: trunc(acos((i - 256) / 256) * 128 / pi)
const uint16_t *ihsinvroot();  // 1024 entries: trunc(65536 / sqrt(64 k + 0.5)), [0] = 0
const int32_t *ihsratio();     // 86 entries: trunc(255 cos(pi/3 - t) / cos t), t = j pi / 128
