// Camera module "pvapicam": GigE cameras through PvAPI. This file is the
// module's SDK layer (gige.h), the only place where it calls PvAPI; the
// module's logic is gige.cpp. Built against the stand-in SDK in
// camera/standin/ unless PVAPI_SDK_DIR names a real one.
#include "camera/cutil.h"
#include "camera/gige.h"

#include "PvApi.h"

#include <cstdint>
#include <cstring>

namespace {

tPvHandle PvHandle;
tPvCameraInfoEx List[10];
tPvFrame Frame;

bool ok(tPvErr e) { return e == ePvErrSuccess; }

}  // namespace

namespace sdk {

const description module = {
    "initialize pvapi",
    "options: PixelFormat,AcquisitionMode,Timeout,BinningX,BinningY,RegionX,RegionY,Width,Height",
    "PixelFormat=Mono8|Bayer8|Rgb24",
    {"BinningX", "BinningY", "RegionX", "RegionY", "Width", "Height"},
};

bool startup() {
    PvHandle = nullptr;
    memset(&Frame, 0, sizeof Frame);
    return ok(PvInitialize());
}

void shutdown() { PvUnInitialize(); }

bool open(int nr) {
    unsigned long connected = 0;
    unsigned long listed = PvCameraListEx(List, 10, &connected, sizeof List[0]);
    if (unsigned(nr) >= listed || nr >= 10) return false;
    if (ok(PvCameraOpen(List[nr].UniqueId, ePvAccessMaster, &PvHandle))) return true;
    PvHandle = nullptr;
    return false;
}

const char *prepare() {
    if (!ok(PvAttrUint32Set(PvHandle, "GvcpRetries", 100))) return "can't set gvcp retries";
    if (!ok(PvCaptureAdjustPacketSize(PvHandle, 8228))) return "can't adjust packet size";
    return nullptr;
}

bool capturestart() { return ok(PvCaptureStart(PvHandle)); }

void stop() {
    PvCommandRun(PvHandle, "AcquisitionStop");
    PvCaptureQueueClear(PvHandle);
}

void close() {
    PvCaptureEnd(PvHandle);
    PvCameraClose(PvHandle);
    PvHandle = nullptr;
}

bool command(const char *name) { return ok(PvCommandRun(PvHandle, name)); }

bool getenum(const char *name, char value[16]) {
    unsigned long length = 0;
    return ok(PvAttrEnumGet(PvHandle, name, value, 16, &length));
}

bool setenum(const char *name, const char *value) { return ok(PvAttrEnumSet(PvHandle, name, value)); }

bool getint(const char *name, int64_t *value) {
    tPvUint32 v = 0;
    if (!ok(PvAttrUint32Get(PvHandle, name, &v))) return false;
    *value = v;
    return true;
}

// The attributes are unsigned 32-bit: other values are refused here.
bool setint(const char *name, int64_t value) {
    if (value < 0 || value > int64_t(UINT32_MAX)) return false;
    return ok(PvAttrUint32Set(PvHandle, name, tPvUint32(value)));
}

bool framebytes(int64_t *bytes) { return getint("TotalBytesPerFrame", bytes); }

void setbuffer(uint8_t *buffer, uint32_t size) {
    Frame.ImageBuffer = buffer;
    Frame.ImageBufferSize = size;
}

bool announce() { return true; }   // PvAPI has no announce step

bool queue() { return ok(PvCaptureQueueFrame(PvHandle, &Frame, nullptr)); }

waitresult wait(uint32_t ms) {
    tPvErr e = PvCaptureWaitForFrameDone(PvHandle, &Frame, ms);
    return ok(e) ? DONE : e == ePvErrTimeout ? TIMEOUT : FAILED;
}

frameinfo frame() {
    pixelformat f = Frame.Format == ePvFmtMono8    ? MONO8
                    : Frame.Format == ePvFmtBayer8 ? BAYER8
                    : Frame.Format == ePvFmtRgb24  ? RGB8
                                                   : OTHER;
    return {int64_t(Frame.RegionX), int64_t(Frame.RegionY), int64_t(Frame.Width), int64_t(Frame.Height), f};
}

// Red, green and blue planes interleaved: bytes 0, 1, 2 of each pixel.
void debayerframe(uint8_t *rgb) { PvUtilityColorInterpolate(&Frame, rgb, rgb + 1, rgb + 2, 2, 0); }

}  // namespace sdk
