// Camera module "aravis": GigE Vision and USB3 Vision cameras through the
// Aravis library. It follows the vendor modules' state machine: one camera
// open at a time, chosen by its number among the devices found; options set
// only the features that differ from the remembered values; a snap within
// Timeout ms that changes nothing reuses the armed acquisition, anything
// else re-arms it with buffers of the new payload size.
//
// caminit options: Fake=1 also enables Aravis's in-process simulated camera
// (device "Fake_1"), for trying the module without hardware.
// camsnap options: PixelFormat (Mono8, BayerRG8, RGB8Packed or RGB8),
// AcquisitionMode (SingleFrame, Continuous), Timeout (ms, kept across
// calls), BinningHorizontal, BinningVertical, OffsetX, OffsetY, Width,
// Height, ExposureTime (microseconds), Gain.
// Frames: Mono8 into the bordered grey layout (depth 8), BayerRG8
// demosaicked by debayer and RGB8 copied (depth 24).
#include "image/camera.h"
#include "camera/cutil.h"

#include <arv.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr unsigned DISCOVERY_LIMIT_MS = 7500;
constexpr unsigned DISCOVERY_RETRY_MS = 250;
constexpr unsigned HEADER_PACING_MS = 33;
constexpr int STREAM_BUFFERS = 4;
constexpr unsigned WAIT_SLICE_MS = 50;  // frame wait between two polls of the host

struct arvstate {
    char error[256] = "";
    bool inited = false;
    ArvCamera *cam = nullptr;
    ArvStream *stream = nullptr;
    ArvBuffer *frame = nullptr;  // popped by camreadheader, pushed back by camreaddata
    int actcam = -1;
    int timeout = 1000;
    char format[16] = "", mode[16] = "";
    gint64 binh = 0, binv = 0, offx = 0, offy = 0, width = 0, height = 0;
    double exposure = NAN, gain = NAN;
    uint32_t lasttime = 0, ltime = 0;
};
arvstate S;

bool fail(const char *text) {
    snprintf(S.error, sizeof S.error, "%s", text);
    return false;
}

// Fails with text, followed by the library's own explanation when it gave
// one; frees the GError.
bool failwith(const char *text, GError *&err) {
    if (err) snprintf(S.error, sizeof S.error, "%s: %s", text, err->message);
    else snprintf(S.error, sizeof S.error, "%s", text);
    g_clear_error(&err);
    return false;
}

// The options of camsnap; integers -1 and texts empty when not given.
struct snapoptions {
    char format[16] = "", mode[16] = "", exposure[32] = "", gain[32] = "";
    int timeout = -1, binh = -1, binv = -1, offx = -1, offy = -1, width = -1, height = -1;
    int found = 0;
};

snapoptions readoptions(const char *s) {
    snapoptions o;
    o.found = opt2a(s, "PixelFormat", o.format, sizeof o.format) +
              opt2a(s, "AcquisitionMode", o.mode, sizeof o.mode) +
              opt2i(s, "Timeout", &o.timeout) + opt2i(s, "BinningHorizontal", &o.binh) +
              opt2i(s, "BinningVertical", &o.binv) + opt2i(s, "OffsetX", &o.offx) +
              opt2i(s, "OffsetY", &o.offy) + opt2i(s, "Width", &o.width) +
              opt2i(s, "Height", &o.height) +
              opt2a(s, "ExposureTime", o.exposure, sizeof o.exposure) +
              opt2a(s, "Gain", o.gain, sizeof o.gain);
    return o;
}

// A finite number from the whole of text, or false.
bool parsereal(const char *text, double &out) {
    char *end;
    out = strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(out);
}

// Returns the popped frame to the stream, if one is held.
void requeue() {
    if (S.frame && S.stream) arv_stream_push_buffer(S.stream, S.frame);
    else if (S.frame) g_object_unref(S.frame);
    S.frame = nullptr;
}

// Stops the acquisition and drops the stream with all its buffers. Cameras
// lock most features while they stream, so every setting is made disarmed.
void disarm() {
    if (S.cam) {
        GError *err = nullptr;
        arv_camera_stop_acquisition(S.cam, &err);
        g_clear_error(&err);
    }
    if (S.frame) g_object_unref(S.frame);
    S.frame = nullptr;
    if (S.stream) g_object_unref(S.stream);
    S.stream = nullptr;
}

void closecamera() {
    disarm();
    if (S.cam) g_object_unref(S.cam);
    S.cam = nullptr;
    S.actcam = -1;
}

bool readconfiguration() {
    GError *err = nullptr;
    const char *format = arv_camera_get_string(S.cam, "PixelFormat", &err);
    if (!err) snprintf(S.format, sizeof S.format, "%s", format ? format : "");
    const char *mode = err ? nullptr : arv_camera_get_string(S.cam, "AcquisitionMode", &err);
    if (!err) snprintf(S.mode, sizeof S.mode, "%s", mode ? mode : "");
    gint64 *fields[] = {&S.binh, &S.binv, &S.offx, &S.offy, &S.width, &S.height};
    const char *names[] = {"BinningHorizontal", "BinningVertical", "OffsetX",
                           "OffsetY",           "Width",           "Height"};
    for (int i = 0; i < 6 && !err; ++i) {
        // binning is optional on cameras: without it the image is unbinned
        if (i < 2 && !arv_camera_is_binning_available(S.cam, nullptr)) {
            *fields[i] = 1;
            continue;
        }
        *fields[i] = arv_camera_get_integer(S.cam, names[i], &err);
    }
    if (err) return failwith("get actual configuration", err);
    S.exposure = S.gain = NAN;
    return true;
}

// Opens camera nr among the devices found, retrying the discovery for up
// to 7.5 s.
bool opencamera(int nr) {
    closecamera();
    uint32_t t0 = GetTickCount();
    for (;;) {
        arv_update_device_list();
        if (unsigned(nr) < arv_get_n_devices()) {
            const char *id = arv_get_device_id(nr);
            GError *err = nullptr;
            S.cam = id ? arv_camera_new(id, &err) : nullptr;
            g_clear_error(&err);
            if (S.cam) break;
        }
        if (GetTickCount() - t0 > DISCOVERY_LIMIT_MS) return fail("camera not connected");
        PollSleep(DISCOVERY_RETRY_MS);
    }
    if (!readconfiguration()) {
        closecamera();
        return false;
    }
    S.actcam = nr;
    return true;
}

// The pixel formats that camreaddata converts.
bool deliverable(const char *format) {
    for (const char *name : {"Mono8", "BayerRG8", "RGB8Packed", "RGB8"})
        if (strcmp(format, name) == 0) return true;
    return false;
}

// Sets a text feature; RGB8Packed and RGB8 name the same pixel format in
// older and newer cameras, so the other name is tried when one is refused.
bool setformat(const char *name) {
    disarm();
    GError *err = nullptr;
    arv_camera_set_string(S.cam, "PixelFormat", name, &err);
    if (err && (strcmp(name, "RGB8Packed") == 0 || strcmp(name, "RGB8") == 0)) {
        g_clear_error(&err);
        arv_camera_set_string(S.cam, "PixelFormat", name[4] ? "RGB8" : "RGB8Packed", &err);
    }
    if (err) return failwith("PixelFormat=Mono8|BayerRG8|RGB8Packed", err);
    snprintf(S.format, sizeof S.format, "%s", name);
    return true;
}

// Sets an integer feature when it is given and differs from the remembered
// value; changed tells whether it was set.
bool setinteger(const char *feature, int value, gint64 &current, const char *text, bool &changed) {
    if (value == -1 || value == current) return true;
    disarm();
    GError *err = nullptr;
    arv_camera_set_integer(S.cam, feature, value, &err);
    if (err) return failwith(text, err);
    current = value;
    changed = true;
    return true;
}

// ExposureTime and Gain: numbers, set when given and different.
bool setreal(const char *text, double &current, void (*set)(ArvCamera *, double, GError **),
             const char *message, bool &changed) {
    if (!*text) return true;
    double value;
    if (!parsereal(text, value)) return fail(message);
    if (value == current) return true;
    disarm();
    GError *err = nullptr;
    set(S.cam, value, &err);
    if (err) return failwith(message, err);
    current = value;
    changed = true;
    return true;
}

bool applyoptions(const snapoptions &o, bool &changed) {
    if (o.timeout != -1) S.timeout = o.timeout;
    if (*o.format && !deliverable(o.format)) return fail("PixelFormat=Mono8|BayerRG8|RGB8Packed");
    if (*o.format && strcmp(o.format, S.format) != 0) {
        if (!setformat(o.format)) return false;
        changed = true;
    }
    if (*o.mode && strcmp(o.mode, S.mode) != 0) {
        disarm();
        GError *err = nullptr;
        arv_camera_set_string(S.cam, "AcquisitionMode", o.mode, &err);
        if (err) return failwith("AcquisitionMode=SingleFrame|Continuous", err);
        snprintf(S.mode, sizeof S.mode, "%s", o.mode);
    }
    if (!setinteger("BinningHorizontal", o.binh, S.binh, "set new binning", changed) ||
        !setinteger("BinningVertical", o.binv, S.binv, "set new binning", changed))
        return false;
    if ((o.binh != -1 || o.binv != -1) && !readconfiguration()) return false;
    if (!setinteger("OffsetX", o.offx, S.offx, "set new roi", changed) ||
        !setinteger("OffsetY", o.offy, S.offy, "set new roi", changed) ||
        !setinteger("Width", o.width, S.width, "set new roi", changed) ||
        !setinteger("Height", o.height, S.height, "set new roi", changed))
        return false;
    return setreal(o.exposure, S.exposure, arv_camera_set_exposure_time, "set exposure time",
                   changed) &&
           setreal(o.gain, S.gain, arv_camera_set_gain, "set gain", changed);
}

// A fresh stream with buffers of the current payload size, then the start.
bool arm() {
    disarm();
    GError *err = nullptr;
    guint payload = arv_camera_get_payload(S.cam, &err);
    if (err || payload == 0) return failwith("get bytes per frame", err);
    S.stream = arv_camera_create_stream(S.cam, nullptr, nullptr, &err);
    if (!S.stream) return failwith("start capture", err);
    for (int i = 0; i < STREAM_BUFFERS; ++i)
        arv_stream_push_buffer(S.stream, arv_buffer_new_allocate(payload));
    arv_camera_start_acquisition(S.cam, &err);
    if (err) {
        disarm();
        return failwith("start acquisition", err);
    }
    return true;
}

// Waits up to Timeout ms for a complete frame, polling the host between
// slices (no frame is held then, so a user break leaves a usable state);
// incomplete frames go back to the stream.
ArvBuffer *waitframe() {
    uint32_t t0 = GetTickCount();
    for (;;) {
        uint32_t spent = GetTickCount() - t0;
        if (spent >= unsigned(S.timeout)) return nullptr;
        unsigned slice = std::min(unsigned(S.timeout) - spent, WAIT_SLICE_MS);
        ArvBuffer *b = arv_stream_timeout_pop_buffer(S.stream, guint64(slice) * 1000);
        if (!b) {
            PollHost();
            continue;
        }
        if (arv_buffer_get_status(b) == ARV_BUFFER_STATUS_SUCCESS &&
            arv_buffer_get_payload_type(b) == ARV_BUFFER_PAYLOAD_TYPE_IMAGE)
            return b;
        arv_stream_push_buffer(S.stream, b);
    }
}

void copymono(const unsigned char *src, int w, int h, unsigned char *dst) {
    for (int y = 0; y < h; ++y) memcpy(dst + size_t(y + 1) * (w + 2) + 1, src + size_t(y) * w, w);
}

}  // namespace

extern "C" {

const char *camerror() { return S.error; }

void camfree() {
    closecamera();
    S = arvstate{};
}

bool caminit(const char *options) {
    camfree();
    int fake = 0;
    if (optp(options) && !opt2i(options, "Fake", &fake)) return fail("options: Fake");
    if (fake) arv_enable_interface("Fake");
    else arv_disable_interface("Fake");
    S.inited = true;
    return true;
}

bool camsnap(int nr, const char *options) {
    if (!S.inited) return fail("initialize first the camera module");
    if (unsigned(nr) > 9) return fail("cam nr must be between 0 and 9");
    snapoptions o;
    if (optp(options)) {
        o = readoptions(options);
        if (!o.found)
            return fail("options: PixelFormat,AcquisitionMode,Timeout,BinningHorizontal,"
                        "BinningVertical,OffsetX,OffsetY,Width,Height,ExposureTime,Gain");
    }
    if (o.timeout < -1) return fail("Timeout must not be negative");
    if (o.binh == 0 || o.binh < -1 || o.binv == 0 || o.binv < -1) return fail("set new binning");
    if (o.offx < -1 || o.offy < -1 || o.width == 0 || o.width < -1 || o.height == 0 ||
        o.height < -1)
        return fail("set new roi");
    bool changed = false;
    if (nr != S.actcam) {
        if (!opencamera(nr)) return false;
        changed = true;
    }
    if (!applyoptions(o, changed)) return false;
    uint32_t now = GetTickCount();
    bool recent = now - S.lasttime <= unsigned(S.timeout);
    S.lasttime = now;
    if (recent && !changed && S.stream) return true;
    return arm();
}

bool camreadheader(int *x, int *y, int *w, int *h, int *depth) {
    uint32_t entry = GetTickCount();
    if (entry - S.ltime < HEADER_PACING_MS) {
        PollSleep(HEADER_PACING_MS - (entry - S.ltime));
        entry = GetTickCount();
    }
    S.ltime = entry;
    requeue();
    if (!S.cam || !S.stream || !(S.frame = waitframe())) return fail("no image queued");
    *x = arv_buffer_get_image_x(S.frame);
    *y = arv_buffer_get_image_y(S.frame);
    *w = arv_buffer_get_image_width(S.frame);
    *h = arv_buffer_get_image_height(S.frame);
    *depth = arv_buffer_get_image_pixel_format(S.frame) == ARV_PIXEL_FORMAT_MONO_8 ? 8 : 24;
    return true;
}

bool camreaddata(void *buffer) {
    if (!S.frame) return fail("no image queued");
    size_t size = 0;
    const unsigned char *data = (const unsigned char *)arv_buffer_get_image_data(S.frame, &size);
    int w = arv_buffer_get_image_width(S.frame), h = arv_buffer_get_image_height(S.frame);
    size_t pixels = size_t(w) * h;
    bool ok = true;
    switch (arv_buffer_get_image_pixel_format(S.frame)) {
    case ARV_PIXEL_FORMAT_MONO_8:
        if (size < pixels) ok = fail("wrong roi or mono8 format");
        else copymono(data, w, h, (unsigned char *)buffer);
        break;
    case ARV_PIXEL_FORMAT_BAYER_RG_8:
        if (size < pixels) ok = fail("wrong roi or bayer8 format");
        else debayer(data, w, h, (unsigned char *)buffer);
        break;
    case ARV_PIXEL_FORMAT_RGB_8_PACKED:
        if (size < 3 * pixels) ok = fail("wrong roi or rgb24 format");
        else memcpy(buffer, data, 3 * pixels);
        break;
    default: ok = fail("frame format not implemented");
    }
    requeue();
    if (!ok) return false;
    if (strcmp(S.mode, "SingleFrame") == 0) {
        GError *err = nullptr;
        arv_camera_start_acquisition(S.cam, &err);
        if (err) return failwith("restart acquisition", err);
    }
    return true;
}

bool camlut(const unsigned char *) { return fail("function not implemented"); }
}
