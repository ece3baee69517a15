// STAND-IN for PvAPI (libPvAPI.so), not the vendor's library: the functions
// that the pvapicam module calls, over the simulated cameras of the stand-in
// engine (standin.h). Cameras have the unique identifiers 1000 + number.
// Waiting for a frame that is not queued fails at once with
// ePvErrBadSequence. PvUtilityColorInterpolate gives each pixel red, the
// rounded mean of the two greens, and blue of the 2 x 2 cell of the RGGB
// mosaic it lies in (on an odd size the last cell is the one before), so
// that its result is told apart from the modules' own demosaicking.
#include "PvApi.h"
#include "camera/standin/standin.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace standin;

namespace {

const dialect Pv = {
    "PvAPI", "PVAPI_STANDIN", "PVAPI_STANDIN_FILE", "PVAPI_STANDIN_LOG",
    {"Mono8", "Bayer8", "Rgb24", "Mono16"},
    {"PixelFormat", "AcquisitionMode", "BinningX", "BinningY", "RegionX", "RegionY", "Width",
     "Height", "TotalBytesPerFrame"},
    {},
    {"GvcpRetries", "PacketSize"},
};

const tPvImageFormat FormatCodes[NKINDS] = {ePvFmtMono8, ePvFmtBayer8, ePvFmtRgb24, ePvFmtMono16};
constexpr size_t MaxQueue = 100;

tPvErr fromengine(int result) {
    switch (result) {
    case 0: return ePvErrSuccess;
    case NOTFOUND: return ePvErrNotFound;
    case WRONGTYPE: return ePvErrWrongType;
    case BADVALUE: return ePvErrOutOfRange;
    default: return ePvErrForbidden;
    }
}

std::string text(const char *s) { return s ? s : "(null)"; }

tPvErr finish(call &c, tPvErr e) { return tPvErr(c.end(long(e))); }

// The checks every camera call starts with: the API is initialised, the
// call is not made to fail, the handle is an open camera.
tPvErr precheck(call &c, tPvHandle handle, camera *&cam) {
    if (!started()) return ePvErrBadSequence;
    if (c.failed()) return ePvErrInternalFault;
    cam = cameraof(handle);
    return cam ? ePvErrSuccess : ePvErrBadHandle;
}

}  // namespace

extern "C" {

// The scenario read at start-up already decides this call's fate.
tPvErr PvInitialize(void) {
    bool valid = startup(Pv);
    call c("PvInitialize");
    if (!valid) return finish(c, ePvErrBadParameter);
    if (!c.failed()) return finish(c, ePvErrSuccess);
    shutdown();
    return finish(c, ePvErrResources);
}

void PvUnInitialize(void) {
    call c("PvUnInitialize");
    shutdown();
    c.end(0);
}

unsigned long PvCameraListEx(tPvCameraInfoEx *list, unsigned long length, unsigned long *connected,
                             unsigned long size) {
    call c("PvCameraListEx", std::to_string(length));
    if (!started() || c.failed() || size != sizeof(tPvCameraInfoEx)) return c.end(0);
    unsigned long n = (unsigned long)visible();
    if (connected) *connected = n;
    if (!list) return c.end(0);
    unsigned long listed = std::min(n, length);
    for (unsigned long i = 0; i < listed; ++i) {
        tPvCameraInfoEx &e = list[i];
        memset(&e, 0, sizeof e);
        e.StructVer = 3;
        e.UniqueId = 1000 + i;
        snprintf(e.CameraName, sizeof e.CameraName, "Stand-in camera %u", unsigned(i % 100));
        snprintf(e.ModelName, sizeof e.ModelName, "Stand-in");
        snprintf(e.SerialNumber, sizeof e.SerialNumber, "%s", cameras[i].id.c_str());
        e.PermittedAccess = ePvAccessMaster | ePvAccessMonitor;
        e.InterfaceType = ePvInterfaceEthernet;
    }
    return c.end(long(listed));
}

tPvErr PvCameraOpen(unsigned long id, tPvAccessFlags access, tPvHandle *handle) {
    call c("PvCameraOpen", std::to_string(id), std::to_string(unsigned(access)));
    if (!started()) return finish(c, ePvErrBadSequence);
    if (c.failed()) return finish(c, ePvErrInternalFault);
    if (!handle) return finish(c, ePvErrBadParameter);
    if (id < 1000 || id - 1000 >= (unsigned long)visible()) return finish(c, ePvErrNotFound);
    camera &cam = cameras[id - 1000];
    if (cam.open) return finish(c, ePvErrAccessDenied);
    cam.open = true;
    *handle = const_cast<void *>(handleof(cam));
    return finish(c, ePvErrSuccess);
}

tPvErr PvCameraClose(tPvHandle handle) {
    call c("PvCameraClose");
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    cam->open = cam->capturing = cam->acquiring = false;
    flush(*cam);
    return finish(c, ePvErrSuccess);
}

tPvErr PvCommandRun(tPvHandle handle, const char *name) {
    call c("PvCommandRun", text(name));
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (!name) return finish(c, ePvErrBadParameter);
    return finish(c, fromengine(command(*cam, name)));
}

tPvErr PvAttrEnumGet(tPvHandle handle, const char *name, char *buffer, unsigned long size,
                     unsigned long *length) {
    call c("PvAttrEnumGet", text(name));
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (!name || !buffer) return finish(c, ePvErrBadParameter);
    std::string v;
    if (int r = getenum(*cam, name, v)) return finish(c, fromengine(r));
    if (length) *length = v.size();
    if (v.size() + 1 > size) return finish(c, ePvErrBadParameter);
    memcpy(buffer, v.c_str(), v.size() + 1);
    return finish(c, ePvErrSuccess);
}

tPvErr PvAttrEnumSet(tPvHandle handle, const char *name, const char *value) {
    call c("PvAttrEnumSet", text(name), text(value));
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (!name || !value) return finish(c, ePvErrBadParameter);
    return finish(c, fromengine(setenum(*cam, name, value)));
}

tPvErr PvAttrUint32Get(tPvHandle handle, const char *name, tPvUint32 *value) {
    call c("PvAttrUint32Get", text(name));
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (!name || !value) return finish(c, ePvErrBadParameter);
    int64_t v = 0;
    if (int r = getint(*cam, name, v)) return finish(c, fromengine(r));
    *value = tPvUint32(v);
    return finish(c, ePvErrSuccess);
}

tPvErr PvAttrUint32Set(tPvHandle handle, const char *name, tPvUint32 value) {
    call c("PvAttrUint32Set", text(name), std::to_string(value));
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (!name) return finish(c, ePvErrBadParameter);
    return finish(c, fromengine(setint(*cam, name, int64_t(value))));
}

tPvErr PvCaptureAdjustPacketSize(tPvHandle handle, unsigned long maximum) {
    call c("PvCaptureAdjustPacketSize", std::to_string(maximum));
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    cam->extra["PacketSize"] = int64_t(std::min(maximum, 9000ul));
    return finish(c, ePvErrSuccess);
}

tPvErr PvCaptureStart(tPvHandle handle) {
    call c("PvCaptureStart");
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (cam->capturing) return finish(c, ePvErrBadSequence);
    cam->capturing = true;
    return finish(c, ePvErrSuccess);
}

tPvErr PvCaptureEnd(tPvHandle handle) {
    call c("PvCaptureEnd");
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    cam->capturing = false;
    flush(*cam);
    return finish(c, ePvErrSuccess);
}

tPvErr PvCaptureQueueClear(tPvHandle handle) {
    call c("PvCaptureQueueClear");
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    for (auto &q : cam->queue) static_cast<tPvFrame *>(const_cast<void *>(q.first))->Status = ePvErrCancelled;
    flush(*cam);
    return finish(c, ePvErrSuccess);
}

tPvErr PvCaptureQueueFrame(tPvHandle handle, tPvFrame *frame, tPvFrameCallback callback) {
    call c("PvCaptureQueueFrame", callback ? "callback" : "");
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (!frame || !frame->ImageBuffer || frame->ImageBufferSize == 0) return finish(c, ePvErrBadParameter);
    if (!cam->capturing || queued(*cam, frame)) return finish(c, ePvErrBadSequence);
    if (cam->queue.size() >= MaxQueue) return finish(c, ePvErrQueueFull);
    frame->Status = ePvErrDataMissing;
    enqueue(*cam, frame);
    return finish(c, ePvErrSuccess);
}

tPvErr PvCaptureWaitForFrameDone(tPvHandle handle, const tPvFrame *frame, unsigned long timeout) {
    call c("PvCaptureWaitForFrameDone", std::to_string(timeout));
    camera *cam;
    if (tPvErr e = precheck(c, handle, cam)) return finish(c, e);
    if (!frame) return finish(c, ePvErrBadParameter);
    tPvFrame *f = const_cast<tPvFrame *>(frame);   // the API fills the record
    frameinfo info;
    uint32_t room = uint32_t(std::min<unsigned long>(f->ImageBufferSize, UINT32_MAX));
    uint32_t ms = uint32_t(std::min<unsigned long>(timeout, UINT32_MAX));
    switch (waitframe(*cam, frame, ms, static_cast<uint8_t *>(f->ImageBuffer), room, info)) {
    case NOTQUEUED: return finish(c, ePvErrBadSequence);
    case TIMEDOUT: return finish(c, ePvErrTimeout);
    case DELIVERED: break;
    }
    f->Status = info.imagesize <= room ? ePvErrSuccess : ePvErrDataMissing;
    f->ImageSize = std::min(info.imagesize, room);
    f->AncillarySize = 0;
    f->Width = info.width;
    f->Height = info.height;
    f->RegionX = info.offx;
    f->RegionY = info.offy;
    f->Format = FormatCodes[info.kind];
    f->BitDepth = info.kind == MONO16 ? 16 : 8;
    f->BayerPattern = ePvBayerRGGB;
    f->FrameCount = (unsigned long)info.number;
    return finish(c, ePvErrSuccess);
}

void PvUtilityColorInterpolate(const tPvFrame *frame, void *red, void *green, void *blue,
                               unsigned long pixelpadding, unsigned long linepadding) {
    call c("PvUtilityColorInterpolate", std::to_string(pixelpadding), std::to_string(linepadding));
    if (!frame || !red || !green || !blue || !frame->ImageBuffer || frame->Width == 0 ||
        frame->Height == 0 || uint64_t(frame->Width) * frame->Height > frame->ImageSize) {
        c.end(1);
        return;
    }
    const uint8_t *raw = static_cast<const uint8_t *>(frame->ImageBuffer);
    uint8_t *planes[3] = {static_cast<uint8_t *>(red), static_cast<uint8_t *>(green),
                          static_cast<uint8_t *>(blue)};
    size_t w = frame->Width, h = frame->Height, step = 1 + pixelpadding;
    size_t line = w * step + linepadding;
    for (size_t y = 0; y < h; ++y) {
        size_t y0 = std::min(y & ~size_t(1), h >= 2 ? h - 2 : 0), y1 = std::min(y0 + 1, h - 1);
        for (size_t x = 0; x < w; ++x) {
            size_t x0 = std::min(x & ~size_t(1), w >= 2 ? w - 2 : 0), x1 = std::min(x0 + 1, w - 1);
            uint8_t rgb[3];
            if (frame->Format == ePvFmtBayer8) {
                rgb[0] = raw[y0 * w + x0];
                rgb[1] = uint8_t((raw[y0 * w + x1] + raw[y1 * w + x0] + 1) / 2);
                rgb[2] = raw[y1 * w + x1];
            } else {
                rgb[0] = rgb[1] = rgb[2] = raw[y * w + x];
            }
            for (int p = 0; p < 3; ++p) planes[p][y * line + x * step] = rgb[p];
        }
    }
    c.end(0);
}

}  // extern "C"
