// Point and neighbourhood transforms on the image store's pixel blocks:
// binary/grey conversions, thresholds, inversion, 3x3 minimum and maximum
// over a neighbourhood mask, minimum and maximum along a line segment,
// lookup tables, ordered dither, chessboard distance, template search and
// the square median filter.
//
// Every routine takes image handles of images with the current image
// frame's geometry (except the sample of getsample, which keeps its own)
// and reports failures through ima_error, which does not return.
//
// The neighbourhood mask se selects positions of the 3x3 grid by bit:
// 0 centre, 1 east, 2 south-east, 3 south, 4 south-west, 5 west,
// 6 north-west, 7 north, 8 north-east (y grows downwards); 511 is the full
// square, 171 the cross. Bits above 8 are ignored.
#pragma once

#include <cstdint>

// grey frame pixel = 1 where the bit is set, else 0 (border not written).
void bingrey(int bin, int grey);
// bit = 1 where grey != 0; the padding bits of each row are cleared.
void greybin(int grey, int bin);
// bit = 1 where low <= grey <= high.
void thresh(int grey, int bin, int low, int high);
// 1 and the frame-relative position of the first set pixel in raster
// order, or 0 when no pixel is set.
int fpoint(int bin, int *x, int *y);

// Complements in place: every byte of a binary block (padding included),
// 255 - v for grey frame pixels and for every colour byte.
void bininvert(int ima);
void greyinvert(int ima);
void colinvert(int ima);

// One-pixel binary shift; dir 1..8 takes the source pixel to the west,
// north-west, north, north-east, east, south-east, south, south-west of the
// result pixel; the row or column without source gets fill (0 or 1). Any
// other dir does nothing. src may equal dst.
void r_binshiftone(int src, int dst, int dir, int fill);

// Minimum/maximum over the mask, pixels outside the frame counting as 1
// (minimum) or 0 (maximum); an empty mask gives all 1 / all 0. tmp is kept
// for callers that pass a scratch image; the word-parallel form needs none.
void bininfnbh(int src, int tmp, int dst, int se);
void binsupnbh(int src, int tmp, int dst, int se);
// Grey minimum/maximum over the mask; the source's border ring is set to 255
// (minimum) or 0 (maximum) first, so the frame edge is neutral. The result's
// border ring holds that neutral value too.
void greyinfnbh(int src, int dst, int se);
void greysupnbh(int src, int dst, int se);
// The direction passes: for each set bit 1..8, every frame pixel of dst
// becomes min (max) of itself and the src pixel at the bit's offset; bits
// 1-4 visit rows top-down, pixels left to right, bits 5-8 the reverse, so
// src may equal dst.
void r_greyinfnbh(int src, int dst, int se);
void r_greysupnbh(int src, int dst, int se);

// Maximum/minimum along a digital line segment of 2 size + 1 pixels at
// angle degrees from +x towards +y, clipped at the frame's edge.
void greylindilation(int src, int dst, float angle, int size);
void greylinerosion(int src, int dst, float angle, int size);

// Maps every frame pixel through the 256-entry table in place.
void anamorph(int grey, const unsigned char *lut);
// Ordered dither with an n x n matrix, n = 2, 4, 8 or 16.
void bitmap(int grey, int bin, int n);
// Chessboard distance transform in place of a 0/1 grey image; the border
// ring is set to outside first.
void distance(int grey, int outside);
// Searches the sample sa in orig from frame-relative (*x, *y) on, by sum of
// absolute differences under a growing row-by-row limit; returns 1 with the
// frame-relative position in *x, *y and the sum in *diff, or 0 with
// *diff = -1.
int getsample(int orig, int sa, int dstart, int dend, int *x, int *y, int *diff);

// Sorted value list of a median window.
struct s_slist {
    uint8_t value;
    s_slist *next;
};
// Inserts rec before the first record whose value is >= its own; returns
// the new head.
s_slist *median_insert(s_slist *rec, s_slist *head);
// Unlinks the first record with that value (*removed = it, or null);
// returns the new head.
s_slist *median_remove(unsigned char value, s_slist **removed, s_slist *head);
// (2 size + 1)^2 median; 0 within size pixels of the frame edge. The
// frame must be at least 2 size + 1 pixels wide and high, 1 <= size <= 127.
void median(int src, int dst, int size);
