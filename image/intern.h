// The image store: 256 image records behind integer handles, the image
// frame and the measure frame, and the library's error function.
// This header knows nothing of the interpreter.
#pragma once

#include <cstdint>

// One image of the store. The pixel block holds the rows top to bottom,
// and its layout is fixed by the depth (nbytes == imagebytes(w, h, depth)
// always; imagerecordok checks it):
//   1  BIN: rows of (w + 7) / 8 bytes, pixel x in bit x % 8 of byte x / 8
//      (bit 0 leftmost); the bits past w in a row's last byte are padding;
//   8  GREY: (w + 2) x (h + 2) bytes, the image inside a one-pixel border
//      (pixel x, y at (y + 1) * (w + 2) + x + 1), so that a 3 x 3
//      neighbourhood never leaves the block; operators keep the border 0
//      unless they say otherwise;
//  16  LGREY: w x h values of two bytes, no border;
//  24  COL: w x h pixels of three bytes red, green, blue, no border;
//  32  FGREY: w x h values of four bytes (floats in the Fourier
//      operators), no border.
struct s_image {
    uint8_t inuse;      // 1 while the row holds an image
    uint32_t nbytes;    // size of the pixel block
    int32_t x0, y0;     // top-left pixel in the image plane
    int32_t w, h;       // size in pixels
    int32_t depth;      // bits per pixel: 1, 8, 16, 24 or 32
    uint8_t *data;      // the pixel block, NULL when free
};

enum { MAXIMAGES = 256, MAXFRAME = 4096 };

extern s_image imarray[MAXIMAGES];
extern int32_t id_used;
extern int64_t mem_used;     // widened: budgets up to the machine's memory

// Image frame and its derived strides; measure frame.
extern int32_t ifx, ify, ifw, ifh, ifw_grey, ifh_grey, ifw_bin, ifw_col;
extern int32_t mfx, mfy, mfw, mfh;

// The error function: never returns. Inside the program it is the
// interpreter's abort; the default prints and ends the process.
typedef void (*ima_error_fn)(const char *msg);
[[noreturn]] void ima_error(const char *msg);
void set_ima_error(ima_error_fn fn);
// Bounds the cache of released blocks by the program's image-memory budget
// (never more than 128 MB, the default).
void set_ima_cachelimit(int64_t bytes);
[[noreturn]] void default_error(const char *msg);

// Called now and then by long-running routines when set; it may raise (a
// user break), which abandons the routine. Null: no polling.
extern void (*ima_poll)();

uint32_t imagebytes(int32_t w, int32_t h, int32_t depth);
// Whether a record in use keeps the invariant of its layout: a block, one
// of the five depths, a size within MAXFRAME and nbytes as the depth gives.
bool imagerecordok(const s_image &r);
void imainit();
int newimage(int x0, int y0, int w, int h, int depth);
// Releases the image; its block is kept for the next image of that size.
void freeimage(int handle);
// Returns the kept blocks to the system; the bytes kept now.
void ima_dropcache();
int64_t ima_cachedbytes();
void binset(int handle, int value);
void greyset(int handle, int value);
void colset(int handle, int value);
void convert(int src, int dst);
void iframe(int x, int y, int w, int h);
// Whether iframe (x, y, w, h) gives a frame whose far corner (x + w, y + h)
// is representable: every coordinate inside it is then safe to compute.
inline bool framefits(int x, int y, int w, int h) {
    auto size = [](int v) { return v < 1 ? 1 : v > MAXFRAME ? MAXFRAME : v; };
    return int64_t(x < 0 ? 0 : x) + size(w) <= INT32_MAX &&
           int64_t(y < 0 ? 0 : y) + size(h) <= INT32_MAX;
}
void mframe(int x, int y, int w, int h);
void frames(int x, int y, int w, int h);
