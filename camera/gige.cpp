// The camera module interface of the GigE camera modules vimbacam and
// pvapicam, over the SDK layer of gige.h. One camera is open at a time; its
// settings are changed only where the options differ from the remembered
// values, and the single frame buffer is re-armed only when needed.
//
// Invariants: a camera is open exactly when ActCam >= 0. Armed means the
// frame is queued (or delivered and not yet read) with the acquisition
// running for the current settings; Sized means the buffer was sized for
// them. A change of the pixel format, binning or region clears both.
#include "image/camera.h"
#include "camera/cutil.h"
#include "camera/gige.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t RETRY_LIMIT = 7500;   // ms of retries to find a camera or queue the frame
constexpr uint32_t FIND_PAUSE = 250, QUEUE_PAUSE = 25, STOP_PAUSE = 25, FREE_PAUSE = 250;
constexpr uint32_t READ_PACE = 33;       // ms between two header reads at least
constexpr uint32_t WAIT_SLICE = 50;      // ms of frame wait between two polls

const char *Error = "";
bool Started;        // the SDK is up
int ActCam = -1;
int Timeout = 1000;  // ms: frame wait limit and re-arm window
char ActFormat[16], ActMode[16];
int64_t Act[sdk::NINTS];
uint32_t lasttime;   // previous camsnap
uint32_t ltime;      // start of the previous camreadheader's read
uint8_t *Buffer;
uint32_t BufferSize;
bool Armed, Sized;
bool HaveFrame;      // camreadheader reported a frame that camreaddata has not read
sdk::frameinfo Current;

bool fail(const char *text) {
    Error = text;
    return false;
}

void copyname(char dst[16], const char *src) { snprintf(dst, 16, "%s", src); }

// Stops and closes the open camera, if any.
void closecamera() {
    if (ActCam < 0) return;
    sdk::stop();
    Sleep(STOP_PAUSE);
    sdk::close();
    ActCam = -1;
    Armed = Sized = HaveFrame = false;
}

bool failclosing(const char *text) {
    closecamera();
    return fail(text);
}

// Opens camera nr, retrying for RETRY_LIMIT ms while it is not found.
bool findcamera(int nr) {
    uint32_t t0 = GetTickCount();
    while (!sdk::open(nr)) {
        if (GetTickCount() - t0 > RETRY_LIMIT) return false;
        PollSleep(FIND_PAUSE);
    }
    return true;
}

bool readregion() {
    for (int i = sdk::OFFX; i < sdk::NINTS; ++i)
        if (!sdk::getint(sdk::module.ints[i], &Act[i])) return false;
    return true;
}

bool readconfiguration() {
    if (!sdk::getenum("PixelFormat", ActFormat) || !sdk::getenum("AcquisitionMode", ActMode))
        return false;
    for (int i = 0; i < sdk::NINTS; ++i)
        if (!sdk::getint(sdk::module.ints[i], &Act[i])) return false;
    return true;
}

// Sets the integer features from..to-1 whose wanted value (-1: not given)
// differs. One the camera refuses is tried again after the others, so that
// an offset and a size can move together either way within the sensor.
bool setints(const int64_t want[], int from, int to) {
    bool refused[sdk::NINTS] = {};
    for (int pass = 0; pass < 2; ++pass)
        for (int i = from; i < to; ++i) {
            if (want[i] == -1 || want[i] == Act[i] || (pass == 1 && !refused[i])) continue;
            refused[i] = !sdk::setint(sdk::module.ints[i], want[i]);
            if (refused[i]) continue;
            Act[i] = want[i];
            Armed = Sized = false;
        }
    return std::none_of(refused + from, refused + to, [](bool r) { return r; });
}

// Sizes the buffer for the camera's frames.
bool sizebuffer() {
    int64_t bytes = 0;
    if (!sdk::framebytes(&bytes) || bytes <= 0 || bytes > int64_t(UINT32_MAX))
        return fail("get bytes per frame");
    if (uint32_t(bytes) != BufferSize) {
        void *p = realloc(Buffer, size_t(bytes));
        if (!p) return fail("allocate memory");
        Buffer = static_cast<uint8_t *>(p);
        BufferSize = uint32_t(bytes);
    }
    sdk::setbuffer(Buffer, BufferSize);
    Sized = true;
    return true;
}

// Stops the acquisition and starts it again with the frame queued.
bool rearm() {
    Armed = HaveFrame = false;
    sdk::stop();
    Sleep(STOP_PAUSE);
    if (!Sized && !sizebuffer()) return false;
    if (!sdk::announce()) return fail("announce frame");
    uint32_t t0 = GetTickCount();
    while (!sdk::queue()) {
        if (GetTickCount() - t0 > RETRY_LIMIT) return fail("queue frame");
        PollSleep(QUEUE_PAUSE);
    }
    if (!sdk::command("AcquisitionStart")) return fail("start acquisition");
    Armed = true;
    return true;
}

// Waits up to Timeout ms for the frame, polling the host between slices.
bool waitframe() {
    uint32_t t0 = GetTickCount();
    for (;;) {
        uint32_t spent = GetTickCount() - t0;
        uint32_t left = spent < uint32_t(Timeout) ? uint32_t(Timeout) - spent : 0;
        sdk::waitresult r = sdk::wait(std::min(left, WAIT_SLICE));
        if (r != sdk::TIMEOUT) return r == sdk::DONE;
        if (left <= WAIT_SLICE) return false;
        PollHost();
    }
}

int clampint(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

extern "C" {

const char *camerror() { return Error; }

void camfree() {
    closecamera();
    if (Started) {
        sdk::shutdown();
        Started = false;
        Sleep(FREE_PAUSE);
    }
    free(Buffer);
    Buffer = nullptr;
    BufferSize = 0;
    Armed = Sized = HaveFrame = false;
}

bool caminit(const char *options) {
    if (optp(options)) return fail("no options available");
    camfree();
    if (!sdk::startup()) return fail(sdk::module.initerror);
    Started = true;
    return true;
}

bool camsnap(int nr, const char *options) {
    if (unsigned(nr) > 9) return fail("cam nr must be between 0 and 9");
    char format[16] = "", mode[16] = "";
    int timeout = -1;
    int64_t want[sdk::NINTS];
    std::fill(want, want + sdk::NINTS, -1);
    if (optp(options)) {
        int found = opt2a(options, "PixelFormat", format, sizeof format) +
                    opt2a(options, "AcquisitionMode", mode, sizeof mode) +
                    opt2i(options, "Timeout", &timeout);
        for (int i = 0; i < sdk::NINTS; ++i) {
            int v;
            if (opt2i(options, sdk::module.ints[i], &v)) want[i] = v, ++found;
        }
        if (!found) return fail(sdk::module.optionlist);
    }
    if (!Started) return fail(sdk::module.initerror);
    if (timeout >= 0) Timeout = timeout;

    if (nr != ActCam) {
        closecamera();
        if (!findcamera(nr)) return fail("camera not connected");
        ActCam = nr;
        if (const char *e = sdk::prepare()) return failclosing(e);
        if (!sdk::capturestart()) return failclosing("start capture");
        if (!readconfiguration()) return failclosing("get actual configuration");
    }
    if (*format && strcmp(format, ActFormat) != 0) {
        if (!sdk::setenum("PixelFormat", format)) return fail(sdk::module.formaterror);
        copyname(ActFormat, format);
        Armed = Sized = false;
    }
    if (*mode && strcmp(mode, ActMode) != 0) {
        if (!sdk::setenum("AcquisitionMode", mode)) return fail("AcquisitionMode=SingleFrame|Continuous");
        copyname(ActMode, mode);
    }
    if (!setints(want, sdk::BINH, sdk::OFFX)) return fail("set new binning");
    if ((want[sdk::BINH] != -1 || want[sdk::BINV] != -1) && !readregion())
        return fail("get actual configuration");
    if (!setints(want, sdk::OFFX, sdk::NINTS)) return fail("set new roi");

    uint32_t now = GetTickCount();
    bool recent = now - lasttime <= uint32_t(Timeout);
    lasttime = now;
    if (recent && Armed) return true;   // the frame armed before serves
    return rearm();
}

bool camreadheader(int *x, int *y, int *w, int *h, int *depth) {
    // reads start READ_PACE ms apart at least
    uint32_t since = GetTickCount() - ltime;
    if (since < READ_PACE) PollSleep(READ_PACE - since);
    ltime = GetTickCount();
    HaveFrame = false;
    if (ActCam < 0 || !Buffer || !waitframe()) {
        Armed = false;
        return fail("no image queued");
    }
    Current = sdk::frame();
    *x = clampint(Current.x);
    *y = clampint(Current.y);
    *w = clampint(Current.w);
    *h = clampint(Current.h);
    *depth = Current.format == sdk::MONO8 ? 8 : 24;
    HaveFrame = true;
    return true;
}

bool camreaddata(void *buffer) {
    if (!HaveFrame) return fail("no image queued");
    // the frame goes back to the SDK below; until then nothing is armed
    HaveFrame = Armed = false;
    auto *out = static_cast<uint8_t *>(buffer);
    uint64_t w = uint64_t(Current.w), h = uint64_t(Current.h), pixels = w * h;
    switch (Current.format) {
    case sdk::MONO8:
        if (BufferSize < pixels) return fail("wrong roi or mono8 format");
        for (uint64_t y = 0; y < h; ++y) memcpy(out + (y + 1) * (w + 2) + 1, Buffer + y * w, w);
        break;
    case sdk::BAYER8:
        if (3 * uint64_t(BufferSize) < 3 * pixels) return fail("wrong roi or bayer8 format");
        sdk::debayerframe(out);
        break;
    case sdk::RGB8:
        if (BufferSize < 3 * pixels) return fail("wrong roi or rgb24 format");
        memcpy(out, Buffer, 3 * pixels);
        break;
    default:
        return fail("frame format not implemented");
    }
    if (!sdk::queue()) return fail("requeue frame");
    if (strcmp(ActMode, "SingleFrame") == 0 && !sdk::command("AcquisitionStart"))
        return fail("restart acquisition");
    Armed = true;
    return true;
}

bool camlut(const unsigned char *) { return fail("function not implemented"); }

}  // extern "C"

// The exports have exactly the types the host binds them with.
CAMERA_EXPORTS(CHECK_EXPORT_TYPE)
