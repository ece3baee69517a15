// Camera module "vimbacam": GigE cameras through the Vimba C API. This file
// is the module's SDK layer (gige.h), the only place where it calls Vimba;
// the module's logic is gige.cpp. Built against the stand-in SDK in
// camera/standin/ unless VIMBA_SDK_DIR names a real one.
#include "camera/cutil.h"
#include "camera/gige.h"

#include "VimbaC.h"

#include <cstdio>

namespace {

VmbHandle_t Handle;
VmbCameraInfo_t List[10];
VmbFrame_t Frame;

bool ok(VmbError_t e) { return e == VmbErrorSuccess; }

}  // namespace

namespace sdk {

const description module = {
    "initialize vimba",
    "options: PixelFormat,AcquisitionMode,Timeout,BinningHorizontal,BinningVertical,OffsetX,"
    "OffsetY,Width,Height",
    "PixelFormat=Mono8|BayerRG8|RGB8Packed",
    {"BinningHorizontal", "BinningVertical", "OffsetX", "OffsetY", "Width", "Height"},
};

bool startup() {
    Handle = nullptr;
    Frame = VmbFrame_t{};
    return ok(VmbStartup());
}

void shutdown() { VmbShutdown(); }

bool open(int nr) {
    VmbFeatureCommandRun(gVimbaHandle, "GeVDiscoveryAllOnce");
    VmbUint32_t found = 0;
    // more cameras than the list holds: the first ten are listed all the same
    VmbError_t e = VmbCamerasList(List, 10, &found, sizeof List[0]);
    if ((!ok(e) && e != VmbErrorMoreData) || unsigned(nr) >= found || nr >= 10) return false;
    if (ok(VmbCameraOpen(List[nr].cameraIdString, VmbAccessModeFull, &Handle))) return true;
    Handle = nullptr;
    return false;
}

const char *prepare() {
    return ok(VmbFeatureCommandRun(Handle, "GVSPAdjustPacketSize")) ? nullptr : "can't adjust packet size";
}

bool capturestart() { return ok(VmbCaptureStart(Handle)); }

void stop() {
    VmbFeatureCommandRun(Handle, "AcquisitionStop");
    VmbCaptureQueueFlush(Handle);
    VmbFrameRevokeAll(Handle);
}

void close() {
    VmbCaptureEnd(Handle);
    VmbCameraClose(Handle);
    Handle = nullptr;
}

bool command(const char *name) { return ok(VmbFeatureCommandRun(Handle, name)); }

bool getenum(const char *name, char value[16]) {
    const char *v = nullptr;
    if (!ok(VmbFeatureEnumGet(Handle, name, &v)) || !v) return false;
    snprintf(value, 16, "%s", v);
    return true;
}

bool setenum(const char *name, const char *value) { return ok(VmbFeatureEnumSet(Handle, name, value)); }

bool getint(const char *name, int64_t *value) {
    VmbInt64_t v = 0;
    if (!ok(VmbFeatureIntGet(Handle, name, &v))) return false;
    *value = v;
    return true;
}

bool setint(const char *name, int64_t value) { return ok(VmbFeatureIntSet(Handle, name, value)); }

bool framebytes(int64_t *bytes) { return getint("PayloadSize", bytes); }

void setbuffer(uint8_t *buffer, uint32_t size) {
    Frame.buffer = buffer;
    Frame.bufferSize = size;
}

bool announce() { return ok(VmbFrameAnnounce(Handle, &Frame, sizeof Frame)); }

bool queue() { return ok(VmbCaptureFrameQueue(Handle, &Frame, nullptr)); }

waitresult wait(uint32_t ms) {
    VmbError_t e = VmbCaptureFrameWait(Handle, &Frame, ms);
    return ok(e) ? DONE : e == VmbErrorTimeout ? TIMEOUT : FAILED;
}

frameinfo frame() {
    pixelformat f = Frame.pixelFormat == VmbPixelFormatMono8      ? MONO8
                    : Frame.pixelFormat == VmbPixelFormatBayerRG8 ? BAYER8
                    : Frame.pixelFormat == VmbPixelFormatRgb8     ? RGB8
                                                                  : OTHER;
    return {Frame.offsetX, Frame.offsetY, Frame.width, Frame.height, f};
}

void debayerframe(uint8_t *rgb) {
    debayer(static_cast<const unsigned char *>(Frame.buffer), int(Frame.width), int(Frame.height), rgb);
}

}  // namespace sdk
