// Signal processing on grey images: horizontal and two-dimensional integer
// convolution, a zero-phase recursive row filter, the direct and the fast
// Fourier transform of (magnitude, phase) image pairs, and the frequency
// helper images (the centring modulation and a Butterworth low pass).
//
// Every routine takes image handles of images with the current image
// frame's geometry: GREY images (only their frame pixels are read and
// written, never the border) and, for the fast transform, FGREY working
// spectra. A phase byte counts 256 units to the full turn. Failures go to
// ima_error, which does not return.
#pragma once

#include <cstdint>

// Output modes of convh and conv: 0 S/fact, 1 S/(sum of the weights used),
// 2 S/fact + 128, 3 |S/fact|; each clamped to 0..255.
// The mask is flipped (true convolution) and centred on m[n/2]; at the
// frame's edges it is truncated, the image is not extended.
void convh(int in, int out, const int32_t *mask, int n, int mode, int fact);
// mask holds h rows of w weights; row i of the mask pairs with image rows.
void conv(int in, int out, const int32_t *mask, int w, int h, int mode, int fact);
// Whether the convolutions and the fast transform use their AVX2 routines:
// set where the processor has AVX2; clearing it selects the plain routines,
// which give the same results.
extern bool signal_avx2;

enum { RECH_MAXCOEF = 20 };
// Forward-backward recursive filter along each row with feed-forward
// weights a (na >= 1) and feedback weights b (nb >= 0), both at most
// RECH_MAXCOEF. Modes: 1 clamp, 2 +128 and clamp, 3 |t| capped at 255.
void rech(int in, int out, const float *a, int na, const float *b, int nb, int mode);

// The 256-step sine and cosine tables of a phase byte.
struct s_phasetab {
    float cos[256];
    float sin[256];
};
void phasetable(s_phasetab *t);

// Direct transform of the pair (gin, ain) into (gout, aout); dir 1 forward
// (magnitudes scaled by fact/(W H)), -1 inverse (scaled by 1/fact).
void ft(int gin, int ain, int gout, int aout, int dir, float fact);

// Fast transform of the FGREY pair (re, im) in place; the frame's width and
// height must be powers of two. dir 1 multiplies by e^(+i theta), -1 by
// e^(-i theta); no scaling.
void fft(int re, int im, int dir);
// The bit-reversal permutation of columns and then rows with which the
// transform starts (fft itself permutes while it copies blocks).
void fftswap(int re, int im);
// (magnitude, phase) grey pair to Cartesian FGREY pair; magnitudes are
// decoded as 255 (g/255)^s.
void conveuler(int g, int a, int re, int im, float s);
// Multiplies ('*') or divides ('/') the spectrum (re, im) by the grey pair
// (g, a), decoded as in conveuler; division by zero leaves a pixel as it is.
void multdiv(int g, int a, int re, int im, char op, float s);
// Cartesian FGREY pair to (magnitude, phase) grey pair; the magnitudes are
// raised to e and scaled to a maximum of 255. re and im are overwritten.
void convbackeuler(int re, int im, int gout, int aout, float e);

// 128 where row + column is odd, 0 where even.
void fcenter(int out);
// Butterworth low pass of cut-off d (>= 1) and order n, 255 at the centre.
void butter(int out, int d, int n);
// Cartesian parts g cos(a) and g sin(a). Modes: 0 |x|, 1 x, 2 x + 128,
// each clamped to 0..255.
void real(int g, int a, int out, int mode);
void imaginary(int g, int a, int out, int mode);

