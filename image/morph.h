// Propagation operators on the pixel queues: connected-component labelling,
// binary and grey reconstruction, influence zones, watershed flooding and
// sequential thinning.
//
// All routines work on GREY images of the current image frame (one-pixel
// border, row stride ifw_grey); a mask's or label image's border ring is
// rewritten as the routine needs it. Propagation goes to the eight
// neighbours in the order north-west, north, north-east, west, east,
// south-west, south, south-east. Each routine empties the queue it uses
// before seeding it, so an operator stopped half-way (a distance limit, a
// user break raised by morph_poll, a queue allocation failure) leaves
// nothing that disturbs the next one.
#pragma once

#include <cstdint>

// ima_poll (intern.h) is called every MORPH_POLLSTEP pixels of propagation.
enum { MORPH_POLLSTEP = 1 << 16 };

// The value given to the n-th component found (n from 0): 1 ... 255, then 1
// again; 0 is never given.
inline uint8_t labelvalue(uint32_t n) { return uint8_t((n + n / 255 + 1) & 255); }

// Labels the 8-connected components of the non-zero pixels of mask into
// result (cleared first), numbered in raster order of their first pixel;
// stops after max components (unsigned: -1 is no limit). Returns the count.
uint32_t label(int result, int mask, uint32_t max);

// Breadth-first propagation of the marker values into the zero marker
// pixels where mask is non-zero, from the entries already in the queue;
// stops when an entry of distance maxdist is taken.
void binpropagation(int marker, int mask, uint32_t maxdist);
// marker = 0 where mask is 0, then propagation from the marker's inner
// boundary (raster order) for size steps (-1: no limit). Keeps the marker's
// values, so it also computes influence zones of labels.
void binbuild(int marker, int mask, int size);
// Binary reconstruction on one image: 0 background, 1 mask, 2 marker (which
// must lie in the mask). Afterwards the pixels within size steps (-1: no
// limit) of the marker inside the mask are 2 or 3, the others 0 or 1.
void binreach(int ima, uint32_t size);

// Grey reconstruction by dilation of marker under mask (result in marker).
void greybuild(int marker, int mask);
// The hierarchical-queue flooding of grey reconstruction, from the levels
// already queued (hqgreyput): clears result and rebuilds it.
void greypropagation(int result, int mask);

// Watershed flooding of the labels over the relief (result in labels).
void watershed(int labels, int relief);
void labelpropagation(int labels, int relief);

// Thinning table: entry c is 1 when some pair (a . b) has c & a == 0 and
// c & b == b.
void thintable(const int32_t *on_off, int npairs, uint8_t table[512]);
// Sequential thinning of a grey 0/1 image by the table, for size steps
// (-1: no limit); pixels set in the BIN image block (-1: none) are never
// removed.
void thinqueue(int ima, const uint8_t *table, int size, int block);
void thinpropagation(int ima, const uint8_t *table, uint32_t size);

// Binary <-> grey conversions of the propagation operators: grey frame
// pixel 1 where the bit is set, else 0, border 0; bit set where grey is
// non-zero (at least "least"), padding bits 0.
void morph_bingrey(int bin, int grey);
void morph_greybin(int grey, int bin, int least = 1);
// grey = value where the BIN image's bit is set and grey is non-zero.
void morph_markbin(int bin, int grey, int value);
