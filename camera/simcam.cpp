// Camera module "simcam": a simulated camera, a stand-in for real camera
// hardware so that the camera interface can be used and tested on machines
// without one. It delivers deterministic test patterns of a scene that
// depends only on the sensor position (X, Y) and the camera number nr:
//
//   Mono8       grey  (X + 16 Y + nr) mod 256                       depth 8
//   Mono1       1 where the Mono8 value is at least 128, else 0     depth 1
//   RGB8Packed  red   (10 X + nr) mod 256, green (10 Y + nr) mod 256,
//               blue  (5 (X + Y) + nr) mod 256                      depth 24
//   BayerRG8    the RGB8Packed scene sampled in the RGGB pattern counted
//               from the region's corner, demosaicked        depth 24
//
// The lookup table of camlut maps every sample (grey, each colour byte, each
// raw Bayer sample) before delivery.
//
// caminit options: Cameras=1..10 (cameras connected, default 1),
// SensorWidth=1..8192 and SensorHeight=1..8192 (default 64 x 48), FailData=1
// (every camreaddata fails, to simulate lost frames).
// camsnap options: PixelFormat=Mono8|Mono1|BayerRG8|RGB8Packed, OffsetX, OffsetY,
// Width, Height (the region of interest, inside the sensor; initially the
// whole sensor in Mono8). Settings persist until camfree.
//
// Built a second time with SIMCAM_WITHOUT_LUT as "simcamnolut", a module
// lacking camlut, to test the loader's refusal.
#include "image/camera.h"
#include "camera/cutil.h"

#include <cstring>
#include <vector>

namespace {

enum pixelformat { MONO8, MONO1, BAYERRG8, RGB8PACKED };

// What camreadheader reported: camreaddata delivers exactly that.
struct header {
    bool valid = false;
    int nr = 0, x = 0, y = 0, w = 0, h = 0;
    pixelformat format = MONO8;
};

struct simstate {
    const char *error = "";
    bool inited = false;
    int cameras = 1, sensorw = 64, sensorh = 48;
    bool faildata = false;
    int actcam = -1;
    bool snapped = false;
    pixelformat format = MONO8;
    int offx = 0, offy = 0, width = 64, height = 48;
    unsigned char lut[256];
    header last;
};
simstate sim;

void identitylut() {
    for (int i = 0; i < 256; ++i) sim.lut[i] = (unsigned char)i;
}

bool fail(const char *text) {
    sim.error = text;
    return false;
}

unsigned char greyat(int nr, int X, int Y) { return sim.lut[(X + 16 * Y + nr) & 255]; }

void colourat(int nr, int X, int Y, unsigned char *rgb) {
    rgb[0] = sim.lut[(10 * X + nr) & 255];
    rgb[1] = sim.lut[(10 * Y + nr) & 255];
    rgb[2] = sim.lut[(5 * (X + Y) + nr) & 255];
}

// The raw RGGB sample at the region position (x, y).
unsigned char bayerat(const header &hd, int x, int y) {
    unsigned char rgb[3];
    colourat(hd.nr, hd.x + x, hd.y + y, rgb);
    if (y % 2 == 0) return x % 2 == 0 ? rgb[0] : rgb[1];
    return x % 2 == 0 ? rgb[1] : rgb[2];
}

bool parseformat(const char *name, pixelformat &format) {
    if (strcmp(name, "Mono8") == 0) format = MONO8;
    else if (strcmp(name, "Mono1") == 0) format = MONO1;
    else if (strcmp(name, "BayerRG8") == 0) format = BAYERRG8;
    else if (strcmp(name, "RGB8Packed") == 0) format = RGB8PACKED;
    else return false;
    return true;
}

}  // namespace

extern "C" {

const char *camerror() { return sim.error; }

void camfree() {
    const char *error = sim.error;
    sim = simstate{};
    sim.error = error;
    identitylut();
}

bool caminit(const char *options) {
    camfree();
    int cameras = 1, sensorw = 64, sensorh = 48, faildata = 0;
    if (optp(options)) {
        int found = opt2i(options, "Cameras", &cameras) + opt2i(options, "SensorWidth", &sensorw) +
                    opt2i(options, "SensorHeight", &sensorh) +
                    opt2i(options, "FailData", &faildata);
        if (!found) return fail("options: Cameras,SensorWidth,SensorHeight,FailData");
    }
    if (cameras < 1 || cameras > 10) return fail("Cameras=1..10");
    if (sensorw < 1 || sensorw > 8192) return fail("SensorWidth=1..8192");
    if (sensorh < 1 || sensorh > 8192) return fail("SensorHeight=1..8192");
    sim.cameras = cameras;
    sim.sensorw = sim.width = sensorw;
    sim.sensorh = sim.height = sensorh;
    sim.faildata = faildata != 0;
    sim.inited = true;
    sim.error = "";
    return true;
}

bool camsnap(int nr, const char *options) {
    if (!sim.inited) return fail("camera not initialized");
    if (unsigned(nr) > 9) return fail("cam nr must be between 0 and 9");
    if (nr >= sim.cameras) return fail("camera not connected");
    char formatname[16] = "";
    pixelformat format = sim.format;
    int offx = sim.offx, offy = sim.offy, width = sim.width, height = sim.height;
    if (optp(options)) {
        int found = opt2a(options, "PixelFormat", formatname, sizeof formatname) +
                    opt2i(options, "OffsetX", &offx) + opt2i(options, "OffsetY", &offy) +
                    opt2i(options, "Width", &width) + opt2i(options, "Height", &height);
        if (!found) return fail("options: PixelFormat,OffsetX,OffsetY,Width,Height");
        if (*formatname && !parseformat(formatname, format))
            return fail("PixelFormat=Mono8|Mono1|BayerRG8|RGB8Packed");
    }
    if (offx < 0 || offy < 0 || width < 1 || height < 1 || offx > sim.sensorw - width ||
        offy > sim.sensorh - height)
        return fail("set new roi");
    sim.format = format;
    sim.offx = offx;
    sim.offy = offy;
    sim.width = width;
    sim.height = height;
    sim.actcam = nr;
    sim.snapped = true;
    return true;
}

bool camreadheader(int *x, int *y, int *w, int *h, int *depth) {
    if (!sim.inited) return fail("camera not initialized");
    if (!sim.snapped) return fail("no image queued");
    sim.last = header{true, sim.actcam, sim.offx, sim.offy, sim.width, sim.height, sim.format};
    *x = sim.offx;
    *y = sim.offy;
    *w = sim.width;
    *h = sim.height;
    *depth = sim.format == MONO8 ? 8 : sim.format == MONO1 ? 1 : 24;
    return true;
}

bool camreaddata(void *buffer) {
    if (!sim.inited) return fail("camera not initialized");
    const header &hd = sim.last;
    if (!hd.valid) return fail("no image read");
    if (sim.faildata) return fail("frame incomplete");
    auto *out = static_cast<unsigned char *>(buffer);
    size_t w = size_t(hd.w), h = size_t(hd.h);
    switch (hd.format) {
    case MONO8:
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                out[(y + 1) * (w + 2) + x + 1] = greyat(hd.nr, hd.x + int(x), hd.y + int(y));
        break;
    case MONO1: {
        // rows of (w + 7) / 8 bytes, bit 0 the leftmost pixel, unused bits 0
        size_t rowbytes = (w + 7) / 8;
        memset(out, 0, rowbytes * h);
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                if (greyat(hd.nr, hd.x + int(x), hd.y + int(y)) >= 128)
                    out[y * rowbytes + x / 8] |= (unsigned char)(1u << (x % 8));
        break;
    }
    case RGB8PACKED:
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                colourat(hd.nr, hd.x + int(x), hd.y + int(y), out + 3 * (y * w + x));
        break;
    case BAYERRG8: {
        std::vector<unsigned char> raw(w * h);
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x) raw[y * w + x] = bayerat(hd, int(x), int(y));
        debayer(raw.data(), hd.w, hd.h, out);
        break;
    }
    }
    return true;
}

#ifndef SIMCAM_WITHOUT_LUT
bool camlut(const unsigned char *lut) {
    if (!sim.inited) return fail("camera not initialized");
    memcpy(sim.lut, lut, sizeof sim.lut);
    return true;
}
#endif

}  // extern "C"

// The exports have exactly the types the host binds them with.
#ifndef SIMCAM_WITHOUT_LUT
CAMERA_EXPORTS(CHECK_EXPORT_TYPE)
#else
CHECK_EXPORT_TYPE(camerror) CHECK_EXPORT_TYPE(caminit) CHECK_EXPORT_TYPE(camfree)
CHECK_EXPORT_TYPE(camsnap) CHECK_EXPORT_TYPE(camreadheader) CHECK_EXPORT_TYPE(camreaddata)
#endif
