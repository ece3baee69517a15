// The GigE camera modules vimbacam and pvapicam share their logic (gige.cpp:
// the seven exports of the camera module interface, options, re-arming,
// pacing, time-outs, pixel formats) and differ in an SDK layer
// (vimbacam.cpp, pvapicam.cpp) that implements the functions below. The SDK
// layer is the only place where a module calls its maker's SDK; it holds the
// camera handle and the frame record. Every function answers true for
// success unless said otherwise.
#pragma once

#include <cstdint>

namespace sdk {

// The integer features (and option keys) in the order they are applied.
enum { BINH, BINV, OFFX, OFFY, WIDTH, HEIGHT, NINTS };

enum pixelformat { MONO8, BAYER8, RGB8, OTHER };

// What the shared logic needs to know of a module.
struct description {
    const char *initerror;        // the SDK did not start
    const char *optionlist;       // camsnap got none of the nine options
    const char *formaterror;      // the camera refused a PixelFormat
    const char *ints[NINTS];      // integer feature names, also the option keys
};
extern const description module;

bool startup();
void shutdown();

// One attempt to find camera nr (a listing, for some SDKs after a discovery)
// and open it with full access; on failure no camera is open.
bool open(int nr);
// After opening: what the SDK needs before capturing (packet size and the
// like); null, or the failure text.
const char *prepare();
bool capturestart();
// Stops the acquisition and drops the queued frame (failures ignored).
void stop();
// Ends the capture and closes the camera (failures ignored).
void close();

bool command(const char *name);
// Enumeration value, cut to 15 characters.
bool getenum(const char *name, char value[16]);
bool setenum(const char *name, const char *value);
bool getint(const char *name, int64_t *value);
bool setint(const char *name, int64_t value);
// Bytes of one frame as the camera reports them.
bool framebytes(int64_t *bytes);

// The frame record uses this buffer from now on.
void setbuffer(uint8_t *buffer, uint32_t size);
// Makes the frame known to the SDK where it needs that.
bool announce();
bool queue();
enum waitresult { DONE, TIMEOUT, FAILED };
waitresult wait(uint32_t ms);

// The last completed frame.
struct frameinfo {
    int64_t x, y, w, h;
    pixelformat format;
};
frameinfo frame();
// Demosaics the frame's Bayer image into w x h red, green, blue pixels.
void debayerframe(uint8_t *rgb);

}  // namespace sdk
