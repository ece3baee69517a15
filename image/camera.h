// Camera modules: shared objects loaded at run time by name that export
// seven C functions under plain names (camerror, caminit, camfree, camsnap,
// camreadheader, camreaddata, camlut). This header holds that interface and
// the host's loader; it knows nothing of the interpreter, and the camera
// modules include it too for the function types.
//
// Every function except camerror and camfree answers true for success and
// false for failure; after a failure camerror explains it. The buffer given
// to camreaddata has the layout of the image store for the depth of the
// last header: depth 1 rows of (w + 7) / 8 bytes (bit 0 leftmost), depth 8
// (w + 2) x (h + 2) bytes with a one-pixel border that the module leaves
// alone, depth 24 red, green, blue bytes per pixel, rows top to bottom.
//
// A module may also export "campoll", a pointer to a function void(void)
// (camera/cutil.h): the loader points it at a function that calls the image
// library's ima_poll, so that the host can let a user break stop the
// module's long waits.
#pragma once

#include "image/module.h"

extern "C" {
typedef const char *(*camerror_fn)();
typedef bool (*caminit_fn)(const char *options);
typedef void (*camfree_fn)();
typedef bool (*camsnap_fn)(int nr, const char *options);
typedef bool (*camreadheader_fn)(int *x, int *y, int *w, int *h, int *depth);
typedef bool (*camreaddata_fn)(void *buffer);
typedef bool (*camlut_fn)(const unsigned char *lut);
}

// The module's exports, each a field of the binding named as the export.
#define CAMERA_EXPORTS(X) \
    X(camerror) X(caminit) X(camfree) X(camsnap) X(camreadheader) X(camreaddata) X(camlut)

// The loaded module's functions: all null when none is loaded.
struct camerabinding {
#define CAMERA_FIELD_(f) f##_fn f;
    CAMERA_EXPORTS(CAMERA_FIELD_)
#undef CAMERA_FIELD_
};
extern camerabinding camera;

// Looks up the seven exports of the opened module dll into b; false when
// any is missing (the ones found stay set, so that camfree can be called).
inline bool bindcamera(void *dll, camerabinding &b) { return BIND_EXPORTS(CAMERA_EXPORTS, dll, b); }

// Unloads the current module, then loads NAME.so (name cut to 123
// characters) and binds the seven functions; caminit is not called. Failures
// go to ima_error: "can't load the library", or "can't bind functions" when
// an export is missing (the module's camfree, if found, is called and the
// module closed). Either way no module is loaded afterwards.
void loadcamera(const char *name);
// Calls the module's camfree and unloads it; harmless without a module.
void freecamera();
// True while a module is loaded.
bool cameraok();
