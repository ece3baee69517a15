// Pixel access, geometry and arithmetic on the image store's pixel blocks.
//
// Every routine takes image handles. Pixel access (rpix, wpix, wline, bord)
// works on the image in its own geometry, with plane coordinates that the
// caller has checked against the image's rectangle. All other routines
// assume images of the current image frame's geometry (the strides come
// from the frame globals), except that the destination of rot90 has the
// transposed size. Failures go to ima_error, which does not return.
#pragma once

#include <cstdint>

// ------------------------------------------------------------ pixel access
int binrpix(int h, int x, int y);
int greyrpix(int h, int x, int y);
int colrpix(int h, int x, int y);        // 0xRRGGBB
void binwpix(int h, int x, int y, int value);
void greywpix(int h, int x, int y, int value);
void colwpix(int h, int x, int y, int value);
// Lines between two plane points, both inside the image.
void binwline(int h, int x1, int y1, int x2, int y2, int value);
void greywline(int h, int x1, int y1, int x2, int y2, int value);
void colwline(int h, int x1, int y1, int x2, int y2, int value);
// First and last row and column of the rectangle (x0, y0, w, h) in plane
// coordinates; the parts outside the image are skipped.
void binbord(int h, int value, int x0, int y0, int w, int hh);
void greybord(int h, int value, int x0, int y0, int w, int hh);
void colbord(int h, int value, int x0, int y0, int w, int hh);

// ----------------------------------------------------------------- geometry
void bincopy(int src, int dst);
void greycopy(int src, int dst);          // border included
void colcopy(int src, int dst);
// dst(x + dx, y + dy) = src(x, y); the rest 0. |dx| < ifw, |dy| < ifh.
void binshift(int src, int dst, int dx, int dy);
void greyshift(int src, int dst, int dx, int dy);
void colshift(int src, int dst, int dx, int dy);
// Quarter turn: dir 1 clockwise as displayed, -1 counter-clockwise. The
// sizes come from the two records: dst is src transposed.
void binrot90(int src, int dst, int dir);
void greyrot90(int src, int dst, int dir);
void colrot90(int src, int dst, int dir);
// Rotation about the frame's centre by angle (radians), nearest pixel.
void binrot(int src, int dst, float angle);
void greyrot(int src, int dst, float angle);
void colrot(int src, int dst, float angle);
// Rotation, bilinear.
void greyrotbil(int src, int dst, float angle);
void colrotbil(int src, int dst, float angle);
// Zoom anchored at the frame's top-left pixel; fx > 0, fy >= 0.
void binzoom(int src, int dst, float fx, float fy);
void greyzoom(int src, int dst, float fx, float fy);
void colzoom(int src, int dst, float fx, float fy);
void greyzoombil(int src, int dst, float fx, float fy);
void colzoombil(int src, int dst, float fx, float fy);
// Keystone correction towards the vanishing row v (frame-relative).
void greytrapezoid(int src, int dst, int v);
void coltrapezoid(int src, int dst, int v);
// The vanishing row of the line (X1 Y1)-(X2 Y2) (frame-relative): checks the
// line as TRAPEZOID requires and reports through ima_error.
int trapezoidrow(int x1, int y1, int x2, int y2);

// --------------------------------------------------------------- arithmetic
// dst op= src (mode 0, srcorconst is a handle) or dst op= constant (mode 1).
// Colour constants are 0xRRGGBB, applied channel by channel.
enum { OP_IMAGE = 0, OP_CONST = 1 };
void greyadd(int srcorconst, int dst, int mode);
void greyaddl(int srcorconst, int dst, int mode);
void greysub(int srcorconst, int dst, int mode);
void greysubl(int srcorconst, int dst, int mode);
void coladd(int srcorconst, int dst, int mode);
void coladdl(int srcorconst, int dst, int mode);
void colsub(int srcorconst, int dst, int mode);
void colsubl(int srcorconst, int dst, int mode);
void greymultl(int srcorconst, int dst, int fact, int mode);
void greydiv(int srcorconst, int dst, int fact, int mode);
void colmultl(int srcorconst, int dst, int fact, int mode);
void coldiv(int srcorconst, int dst, int fact, int mode);
// dst = max/min(dst, src); BIN: union/intersection.
void binsup(int src, int dst);
void bininf(int src, int dst);
void greysup(int src, int dst);
void greyinf(int src, int dst);
void colsup(int src, int dst);
void colinf(int src, int dst);
// dst = src (or the constant) where the BIN mask is 1.
void greymask(int srcorconst, int mask, int dst, int mode);
void colmask(int srcorconst, int mask, int dst, int mode);
// dst = f1 * src + f2 * dst + 0.5, limited to 0..255.
void greycombine(float f1, int src, float f2, int dst);
void colcombine(float f1, int src, float f2, int dst);
