// Image files: the native file format and the binding of a filter (the
// native routines or a filter module loaded at run time). Writers save
// through savefile.h, which never destroys what the name points to.
//
// The seven-function filter interface is the same for the native format and
// for every module; a module exports it under the plain C names
// filtererror, filterfopen, filterfclose, filterwriteheader, filterwritedata,
// filterreadheader and filterreaddata. This header knows nothing of the
// interpreter; filter modules include it too.
#pragma once

#include "image/intern.h"
#include "image/savefile.h"

#include <cstdint>
#include <cstdio>
#include <string>

// ------------------------------------------------------------ the interface
extern "C" {
typedef const char *(*filtererror_fn)();
typedef bool (*filterfopen_fn)(const char *name, bool write);
typedef void (*filterfclose_fn)();
typedef bool (*filterwriteheader_fn)(int x0, int y0, int w, int h, int depth, const char *options);
typedef bool (*filterwritedata_fn)(const uint8_t *data);
typedef bool (*filterreadheader_fn)(int *x0, int *y0, int *w, int *h, int *depth,
                                    const char *options);
typedef bool (*filterreaddata_fn)(uint8_t *data);
}

// Whether a header describes an image that IMALOAD accepts: origin not
// negative, 1 to MAXFRAME pixels each way with the far corner representable,
// depth 1, 8 or 24. Readers check a file's length against such a header
// before anything is allocated for it.
inline bool loadableheader(int x0, int y0, int w, int h, int depth) {
    return x0 >= 0 && y0 >= 0 && w >= 1 && w <= MAXFRAME && h >= 1 && h <= MAXFRAME &&
           int64_t(x0) + w <= INT32_MAX && int64_t(y0) + h <= INT32_MAX &&
           (depth == 1 || depth == 8 || depth == 24);
}

// The bound filter: all NULL when none is bound.
struct filterbinding {
    filtererror_fn filtererror;
    filterfopen_fn filterfopen;
    filterfclose_fn filterfclose;
    filterwriteheader_fn filterwriteheader;
    filterwritedata_fn filterwritedata;
    filterreadheader_fn filterreadheader;
    filterreaddata_fn filterreaddata;
};
extern filterbinding filter;
extern void *FilterDll;   // handle of the loaded module, NULL if none

// Unbinds the previous filter, then binds the native routines (name NULL or
// empty) or loads the module NAME.so (name cut to 123 characters). Failures
// go to ima_error: "can't load filter module" (nothing bound afterwards),
// "can't bind functions" (the module stays loaded with what was found).
void loadfilter(const char *name);
// Closes the filter's file, unloads the module, clears the binding.
void freefilter();
// True while a module is loaded.
bool filterok();

// Opens the shared object "NAME.so" (name cut to 123 characters) with
// immediate binding; a bare name is found in the program's "lib" folder
// (build tree) or in "../lib/tavex" beside it (installed).
// The handle, or NULL when it cannot be opened. Shared by the filter and
// the camera loaders.
void *openmodule(const char *name);

// ------------------------------------------------------- native routines
// Header: x0, y0, w, h as little-endian signed 16-bit, depth as one byte;
// then the pixel block of the image store for depth 1, 8 or 24.
enum { NATIVE_HEADER_BYTES = 9 };
const char *tvimaerror();
bool tvimafopen(const char *name, bool write);
void tvimafclose();
bool tvimawriteheader(int x0, int y0, int w, int h, int depth, const char *options);
bool tvimawritedata(const uint8_t *data);
bool tvimareadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *options);
bool tvimareaddata(uint8_t *data);

// Row size and row count of the pixel block of a native file; 0 rows for a
// depth without data.
struct blockrows {
    size_t rowbytes;
    size_t rows;
};
blockrows nativerows(int w, int h, int depth);
