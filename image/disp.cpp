// The shared display picture, lookup table and their lock.
#include "disp.h"

s_display Ima;
uint8_t Lut[256][3];
std::mutex CSection;

void lutidentity() {
    for (int i = 0; i < 256; ++i) Lut[i][0] = Lut[i][1] = Lut[i][2] = uint8_t(i);
}
