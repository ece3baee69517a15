// STAND-IN for the Vimba C API (libVimbaC.so), not the vendor's library:
// the functions that the vimbacam module calls, over the simulated cameras
// of the stand-in engine (standin.h). Camera identifiers are
// "DEV_STANDIN_<number>"; the system object runs GeVDiscoveryAllOnce, a
// camera GVSPAdjustPacketSize, AcquisitionStart and AcquisitionStop. A frame
// is revoked, queued and waited for as the modules rely on: waiting for a
// frame that is not queued fails at once with VmbErrorInvalidCall.
#include "VimbaC.h"
#include "camera/standin/standin.h"

#include <algorithm>
#include <string>

using namespace standin;

namespace {

const dialect Vimba = {
    "VimbaC", "VIMBA_STANDIN", "VIMBA_STANDIN_FILE", "VIMBA_STANDIN_LOG",
    {"Mono8", "BayerRG8", "RGB8Packed", "Mono16"},
    {"PixelFormat", "AcquisitionMode", "BinningHorizontal", "BinningVertical", "OffsetX",
     "OffsetY", "Width", "Height", "PayloadSize"},
    {"GVSPAdjustPacketSize"},
    {},
};

const VmbPixelFormat_t PixelCodes[NKINDS] = {VmbPixelFormatMono8, VmbPixelFormatBayerRG8,
                                             VmbPixelFormatRgb8, 0x01100007 /* Mono16 */};

VmbError_t fromengine(int result) {
    switch (result) {
    case 0: return VmbErrorSuccess;
    case NOTFOUND: return VmbErrorNotFound;
    case WRONGTYPE: return VmbErrorWrongType;
    case BADVALUE: return VmbErrorInvalidValue;
    default: return VmbErrorInvalidAccess;
    }
}

std::string text(const char *s) { return s ? s : "(null)"; }

// The checks every camera call starts with: the API is started, the call
// is not made to fail, the handle is an open camera. 0 when they pass.
VmbError_t precheck(call &c, const VmbHandle_t handle, camera *&cam) {
    if (!started()) return VmbErrorApiNotStarted;
    if (c.failed()) return VmbErrorOther;
    cam = cameraof(handle);
    return cam ? VmbErrorSuccess : VmbErrorBadHandle;
}

}  // namespace

extern "C" {

// The scenario read at start-up already decides this call's fate.
VmbError_t VmbStartup(void) {
    bool valid = startup(Vimba);
    call c("VmbStartup");
    if (!valid) return VmbError_t(c.end(VmbErrorBadParameter));
    if (!c.failed()) return VmbError_t(c.end(VmbErrorSuccess));
    shutdown();
    return VmbError_t(c.end(VmbErrorOther));
}

void VmbShutdown(void) {
    call c("VmbShutdown");
    shutdown();
    c.end(0);
}

VmbError_t VmbCamerasList(VmbCameraInfo_t *list, VmbUint32_t length, VmbUint32_t *found,
                          VmbUint32_t size) {
    call c("VmbCamerasList", std::to_string(length));
    if (!started()) return VmbError_t(c.end(VmbErrorApiNotStarted));
    if (c.failed()) return VmbError_t(c.end(VmbErrorOther));
    if (size != sizeof(VmbCameraInfo_t)) return VmbError_t(c.end(VmbErrorStructSize));
    if (!found || (length > 0 && !list)) return VmbError_t(c.end(VmbErrorBadParameter));
    VmbUint32_t n = VmbUint32_t(visible());
    *found = n;
    for (VmbUint32_t i = 0; i < std::min(n, length); ++i)
        list[i] = VmbCameraInfo_t{cameras[i].id.c_str(), "Stand-in camera", "Stand-in",
                                  cameras[i].id.c_str(), VmbAccessModeFull, "STANDIN_IF"};
    return VmbError_t(c.end(n > length ? VmbErrorMoreData : VmbErrorSuccess));
}

VmbError_t VmbCameraOpen(const char *id, VmbAccessMode_t mode, VmbHandle_t *handle) {
    call c("VmbCameraOpen", text(id), std::to_string(mode));
    if (!started()) return VmbError_t(c.end(VmbErrorApiNotStarted));
    if (c.failed()) return VmbError_t(c.end(VmbErrorOther));
    if (!id || !handle) return VmbError_t(c.end(VmbErrorBadParameter));
    int n = visible();
    for (int i = 0; i < n; ++i)
        if (cameras[size_t(i)].id == id) {
            camera &cam = cameras[size_t(i)];
            if (cam.open) return VmbError_t(c.end(VmbErrorInvalidAccess));
            cam.open = true;
            *handle = const_cast<void *>(handleof(cam));
            return VmbError_t(c.end(VmbErrorSuccess));
        }
    return VmbError_t(c.end(VmbErrorNotFound));
}

VmbError_t VmbCameraClose(const VmbHandle_t handle) {
    call c("VmbCameraClose");
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    cam->open = cam->capturing = cam->acquiring = false;
    flush(*cam);
    cam->announced.clear();
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbFeatureCommandRun(const VmbHandle_t handle, const char *name) {
    call c("VmbFeatureCommandRun", text(name));
    if (handle == gVimbaHandle) {
        if (!started()) return VmbError_t(c.end(VmbErrorApiNotStarted));
        if (c.failed()) return VmbError_t(c.end(VmbErrorOther));
        bool known = name && std::string(name) == "GeVDiscoveryAllOnce";
        return VmbError_t(c.end(known ? VmbErrorSuccess : VmbErrorNotFound));
    }
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (!name) return VmbError_t(c.end(VmbErrorBadParameter));
    return VmbError_t(c.end(fromengine(command(*cam, name))));
}

VmbError_t VmbFeatureEnumGet(const VmbHandle_t handle, const char *name, const char **value) {
    call c("VmbFeatureEnumGet", text(name));
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (!name || !value) return VmbError_t(c.end(VmbErrorBadParameter));
    std::string v;
    if (int r = getenum(*cam, name, v)) return VmbError_t(c.end(fromengine(r)));
    // constant strings, as the API hands out
    int kind = kindof(v);
    *value = kind >= 0 ? Vimba.formats[kind] : v == "SingleFrame" ? "SingleFrame" : "Continuous";
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbFeatureEnumSet(const VmbHandle_t handle, const char *name, const char *value) {
    call c("VmbFeatureEnumSet", text(name), text(value));
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (!name || !value) return VmbError_t(c.end(VmbErrorBadParameter));
    return VmbError_t(c.end(fromengine(setenum(*cam, name, value))));
}

VmbError_t VmbFeatureIntGet(const VmbHandle_t handle, const char *name, VmbInt64_t *value) {
    call c("VmbFeatureIntGet", text(name));
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (!name || !value) return VmbError_t(c.end(VmbErrorBadParameter));
    int64_t v = 0;
    if (int r = getint(*cam, name, v)) return VmbError_t(c.end(fromengine(r)));
    *value = v;
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbFeatureIntSet(const VmbHandle_t handle, const char *name, VmbInt64_t value) {
    call c("VmbFeatureIntSet", text(name), std::to_string(value));
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (!name) return VmbError_t(c.end(VmbErrorBadParameter));
    return VmbError_t(c.end(fromengine(setint(*cam, name, value))));
}

VmbError_t VmbCaptureStart(const VmbHandle_t handle) {
    call c("VmbCaptureStart");
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (cam->capturing) return VmbError_t(c.end(VmbErrorInvalidCall));
    cam->capturing = true;
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbCaptureEnd(const VmbHandle_t handle) {
    call c("VmbCaptureEnd");
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    cam->capturing = false;
    flush(*cam);
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbCaptureQueueFlush(const VmbHandle_t handle) {
    call c("VmbCaptureQueueFlush");
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    flush(*cam);
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbFrameAnnounce(const VmbHandle_t handle, const VmbFrame_t *frame, VmbUint32_t size) {
    call c("VmbFrameAnnounce", frame ? std::to_string(frame->bufferSize) : "(null)");
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (size != sizeof(VmbFrame_t)) return VmbError_t(c.end(VmbErrorStructSize));
    if (!frame || !frame->buffer || frame->bufferSize == 0) return VmbError_t(c.end(VmbErrorBadParameter));
    auto &a = cam->announced;
    if (std::find(a.begin(), a.end(), frame) != a.end()) return VmbError_t(c.end(VmbErrorInvalidCall));
    a.push_back(frame);
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbFrameRevokeAll(const VmbHandle_t handle) {
    call c("VmbFrameRevokeAll");
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    flush(*cam);
    cam->announced.clear();
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbCaptureFrameQueue(const VmbHandle_t handle, const VmbFrame_t *frame,
                                VmbFrameCallback callback) {
    call c("VmbCaptureFrameQueue", callback ? "callback" : "");
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    auto &a = cam->announced;
    if (!frame || std::find(a.begin(), a.end(), frame) == a.end())
        return VmbError_t(c.end(VmbErrorBadParameter));
    if (!cam->capturing || queued(*cam, frame)) return VmbError_t(c.end(VmbErrorInvalidCall));
    enqueue(*cam, frame);
    return VmbError_t(c.end(VmbErrorSuccess));
}

VmbError_t VmbCaptureFrameWait(const VmbHandle_t handle, const VmbFrame_t *frame,
                               VmbUint32_t timeout) {
    call c("VmbCaptureFrameWait", std::to_string(timeout));
    camera *cam;
    if (VmbError_t e = precheck(c, handle, cam)) return VmbError_t(c.end(e));
    if (!frame) return VmbError_t(c.end(VmbErrorBadParameter));
    // the API fills the caller's record
    VmbFrame_t *f = const_cast<VmbFrame_t *>(frame);
    frameinfo info;
    switch (waitframe(*cam, frame, timeout, static_cast<uint8_t *>(f->buffer), f->bufferSize, info)) {
    case NOTQUEUED: return VmbError_t(c.end(VmbErrorInvalidCall));
    case TIMEDOUT: return VmbError_t(c.end(VmbErrorTimeout));
    case DELIVERED: break;
    }
    f->receiveStatus = info.imagesize <= f->bufferSize ? VmbFrameStatusComplete : VmbFrameStatusIncomplete;
    f->receiveFlags = 0;
    f->imageSize = std::min(info.imagesize, f->bufferSize);
    f->ancillarySize = 0;
    f->pixelFormat = PixelCodes[info.kind];
    f->width = info.width;
    f->height = info.height;
    f->offsetX = info.offx;
    f->offsetY = info.offy;
    f->frameID = info.number;
    f->timestamp = uint64_t(now()) * 1000000u;
    return VmbError_t(c.end(VmbErrorSuccess));
}

}  // extern "C"
