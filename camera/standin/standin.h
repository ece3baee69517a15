// STAND-IN camera SDKs: the engine shared by the stand-in libraries
// libVimbaC.so (vimbac.cpp) and libPvAPI.so (pvapi.cpp). They are not the
// makers' SDKs: they export the functions that the vimbacam and pvapicam
// modules call and behave as the SDKs do as far as the modules rely on
// them, so that the modules are built, used and tested on machines without
// the SDKs or cameras. The engine simulates a set of GigE cameras, injects
// failures and delays, and records every call.
//
// Scenario: words separated by white space (a '#' starts a comment to the
// end of the line), read at every start-up of the API from the variable
// VIMBA_STANDIN / PVAPI_STANDIN, or else from the file named by
// VIMBA_STANDIN_FILE / PVAPI_STANDIN_FILE. An invalid word makes the
// start-up fail with a message on standard error.
//
//   cameras=N          cameras connected, 0..16 (default 1)
//   appear=MS          the listing shows them only MS ms after start-up
//   framedelay=MS      a queued frame is complete MS ms after it was queued
//                      or the acquisition started, whichever is later
//   content=ramp       frame content (default), see below
//   content=V          every sample V (0..255)
//   fail=[N:]CALL[:ARG]  CALL fails (only its first N times when N is given,
//                      every time after the first N when +N is given; with
//                      ARG only when its feature name or first argument is
//                      ARG), e.g. fail=VmbFeatureIntSet:Width
//   delay=MS:CALL[:ARG]  CALL takes MS ms longer
//   [K.]sensor=WxH     sensor size, 1..8192 each way (default 640x480)
//   [K.]formats=A,B    pixel formats the camera accepts (default all four)
//   [K.]FEATURE=VALUE  start value of a feature: the pixel format, the
//                      acquisition mode, the binning and region features, an
//                      SDK's other integer features, and the payload size,
//                      which then stays fixed instead of following the
//                      region (to simulate frames larger than their buffer)
// A K. prefix (camera number) applies the word to camera K only; words
// without it apply to every camera, before the prefixed ones.
//
// Frame content: sample c (0 for one-byte pixels; red 0, green 1, blue 2;
// low byte 0, high byte 1)
// of the pixel at column X = offset x + x, row Y = offset y + y of the k-th
// frame (from 0) that camera K delivered since start-up is
//   ramp:  (X + 3 Y + 5 k + 50 K + 85 c) mod 256.
// A Bayer frame holds one such sample (c = 0) per pixel.
//
// Record: with VIMBA_STANDIN_LOG / PVAPI_STANDIN_LOG naming a file, every
// call appends one line "NAME ARGUMENTS" to it, followed by " -> CODE" when
// the call returns a code other than 0 (PvCameraListEx: the number listed).
//
// Not thread-safe: the modules call from one thread.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace standin {

// A Mono16 frame has two bytes per pixel; the modules refuse it.
enum pixkind { MONO8, BAYER8, RGB8, MONO16, NKINDS };

// Roles of the features the engine models; each SDK names them its way.
enum role { FORMAT, MODE, BINH, BINV, OFFX, OFFY, WIDTH, HEIGHT, PAYLOAD, NROLES };

struct dialect {
    const char *sdk;                  // "VimbaC" or "PvAPI", for messages
    const char *env, *fileenv, *logenv;
    const char *formats[NKINDS];      // pixel format names
    const char *features[NROLES];     // feature names
    std::vector<std::string> commands;   // command features of a camera
    std::vector<std::string> extraints;  // other integer features (start at 0)
};

struct camera {
    int nr = 0;
    std::string id;
    int sensorw = 640, sensorh = 480;
    std::vector<std::string> formats;   // accepted pixel formats
    std::string format, mode = "Continuous";
    int64_t binh = 1, binv = 1, offx = 0, offy = 0, width = 640, height = 480;
    int64_t fixedpayload = -1;          // -1: follows the region
    std::map<std::string, int64_t> extra;
    bool open = false, capturing = false, acquiring = false, singledone = false;
    uint32_t acqstart = 0;
    uint32_t delivered = 0;             // frames delivered since start-up
    std::deque<std::pair<const void *, uint32_t>> queue;   // frame, time queued
    std::vector<const void *> announced;
};

// What a delivered frame holds.
struct frameinfo {
    pixkind kind;
    uint32_t width, height, offx, offy, imagesize;
    uint64_t number;
};

extern std::vector<camera> cameras;

// Milliseconds of a monotonic clock, and a plain sleep.
uint32_t now();
void nap(uint32_t ms);

// Start-up: reads the scenario afresh; false (message on stderr) when it is
// invalid. Shut-down forgets the cameras.
bool startup(const dialect &d);
void shutdown();
bool started();

// One recorded call. The constructor applies the scenario's delay; failed()
// tells whether the scenario makes this call fail; end() records the call
// with its result and returns it.
struct call {
    std::string line, name, arg;
    call(const char *name, const std::string &arg = "", const std::string &more = "");
    bool failed();
    long end(long code);
};

// Cameras the listing shows now (none before start-up or before appear).
int visible();
// The open camera behind a handle made by handleof, or null.
camera *cameraof(const void *handle);
const void *handleof(const camera &c);

// Feature access by name; results: 0 success, or one of these.
enum { NOTFOUND = 1, WRONGTYPE, BADVALUE, READONLY };
int getint(const camera &c, const std::string &name, int64_t &value);
int setint(camera &c, const std::string &name, int64_t value);
int getenum(const camera &c, const std::string &name, std::string &value);
int setenum(camera &c, const std::string &name, const std::string &value);
// Runs a command feature (AcquisitionStart, AcquisitionStop, or one the
// dialect lists). NOTFOUND for others.
int command(camera &c, const std::string &name);

// Frame queue. A frame is delivered when the acquisition runs (in
// SingleFrame mode only the first frame after each start), it is first in
// the queue and its time has come.
enum waitresult { DELIVERED, TIMEDOUT, NOTQUEUED };
bool queued(const camera &c, const void *frame);
void enqueue(camera &c, const void *frame);
void flush(camera &c);
// Waits up to timeout ms for the frame; when delivered, its pixels are
// written to buffer (at most size bytes) and info describes them.
waitresult waitframe(camera &c, const void *frame, uint32_t timeout, uint8_t *buffer,
                     uint32_t size, frameinfo &info);

int64_t payload(const camera &c);
int kindof(const std::string &format);   // pixkind, or -1 when unknown

}  // namespace standin
