// Measurements over the measure frame: grey statistics, pixel sums, the
// grey histogram and per-label features of a label image.
//
// Every routine takes image handles of the current image frame's geometry
// and visits the measure frame (mfx, mfy, mfw, mfh) row by row, left to
// right; an empty measure frame visits nothing. Sums are 64-bit, so they
// are exact for every image the store can hold.
#pragma once

#include <cstdint>

void greymeas(int grey, int *min, int *max, double *mean);
int64_t binsum(int bin);
int64_t greysum(int grey);
void histogram(int grey, uint32_t counts[256]);

// One record per possible label 0-255. Which fields a routine uses and their
// starting values:
//   f_fpoint  x, y of the first pixel in raster order      -1, -1
//   f_mpoint  sum x, sum y, count                           0, 0, 0
//   f_rect    x min, y min, then width, height              see FEAT_NORECT
//   f_area    count                                         0
//   f_volume  sum of the grey values                        0
//   f_grey    min, max of the grey values                   255, 0
// Coordinates are plane coordinates (the frame's origin included).
struct s_feature {
    int64_t v[4];
};
enum { FEAT_LABELS = 256 };
constexpr int64_t FEAT_NORECT = 0x0FFFFFFF;   // starting x min and y min of f_rect

void f_fpoint(int label, s_feature *buf);
void f_mpoint(int label, s_feature *buf);
void f_rect(int label, s_feature *buf);   // v[2], v[3] become width and height
void f_area(int label, s_feature *buf);
void f_volume(int label, int grey, s_feature *buf);
void f_grey(int label, int grey, s_feature *buf);
