// Camera module "oddcam" for the tests of remotecamd: it reports what it was
// given, prints to standard output (which must not reach the client), has
// error texts longer than the protocol carries, and reports whatever header
// caminit's options ask for, including ones no reply can carry.
//
// caminit options: X, Y, Width, Height, Depth of the header (default
// 0 0 3 2 8). camsnap always fails; its text names what caminit and camsnap
// received, or is 300 characters long when the snap options are "long".
// camreaddata writes 0xAB into every pixel byte of the layout, never into
// the grey border. camlut succeeds only for the table i -> 255 - i.
#include "image/camera.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
std::string initoptions, error;
int hx = 0, hy = 0, hw = 3, hh = 2, hdepth = 8;

int option(const char *s, const char *key, int fallback) {
    const char *p = strstr(s, key);
    return p ? atoi(p + strlen(key)) : fallback;
}
}  // namespace

extern "C" {

const char *camerror() { return error.c_str(); }

bool caminit(const char *options) {
    printf("oddcam: noise on standard output\n");
    fflush(stdout);
    initoptions = options ? options : "(null)";
    hx = option(initoptions.c_str(), "X=", 0);
    hy = option(initoptions.c_str(), "Y=", 0);
    hw = option(initoptions.c_str(), "Width=", 3);
    hh = option(initoptions.c_str(), "Height=", 2);
    hdepth = option(initoptions.c_str(), "Depth=", 8);
    return true;
}

void camfree() {}

bool camsnap(int nr, const char *options) {
    if (options && strcmp(options, "long") == 0) error = std::string(300, 'L');
    else error = "caminit got [" + initoptions + "], camsnap got " + std::to_string(nr) + " [" +
                 (options ? options : "(null)") + "]";
    return false;
}

bool camreadheader(int *x, int *y, int *w, int *h, int *depth) {
    *x = hx, *y = hy, *w = hw, *h = hh, *depth = hdepth;
    return true;
}

bool camreaddata(void *buffer) {
    auto *out = static_cast<unsigned char *>(buffer);
    size_t w = size_t(hw), h = size_t(hh);
    if (hdepth == 8) {
        for (size_t y = 0; y < h; ++y) memset(out + (y + 1) * (w + 2) + 1, 0xAB, w);
    } else if (hdepth == 24) {
        memset(out, 0xAB, 3 * w * h);
    } else {
        memset(out, 0xAB, (w + 7) / 8 * h);
    }
    return true;
}

bool camlut(const unsigned char *lut) {
    for (int i = 0; i < 256; ++i)
        if (lut[i] != 255 - i) {
            error = "lut entry " + std::to_string(i) + " is " + std::to_string(lut[i]);
            return false;
        }
    return true;
}

}  // extern "C"
