// Utilities compiled into every camera module and the camera server:
// option strings, colour byte order, Bayer demosaicking (the millisecond
// clock and sleep come from clock.h). Plain C names, so they show in a
// module's symbol table.
//
// An option string is a text of words separated by white space; an option
// is a word key=value, keys compared without regard to case. A null string,
// an empty one or one of white space only holds no options.
#pragma once

#include "image/clock.h"

#include <cstdint>

extern "C" {

// 1 if s holds at least one character that is not white space, else 0.
int optp(const char *s);

// Key lookup: only the first case-insensitive occurrence of key in s counts;
// it must start s or follow white space, and be followed by '=' and at least
// one more character. Otherwise the key is absent and the out value is left
// unchanged (result 0).
//
// opt2i: the value is the decimal number after the '=' (strtol rules: leading
// white space skipped, stops at the first non-digit, no digits gives 0; a
// number beyond the int range is clamped).
int opt2i(const char *s, const char *key, int *out);
// As opt2i; the 32-bit value is stored sign-extended.
int opt2i64(const char *s, const char *key, int64_t *out);
// The value's characters up to the next white space, copied NUL-terminated
// into dst; a value of dstlen or more characters counts as absent.
int opt2a(const char *s, const char *key, char *dst, int dstlen);

// Swaps the first and third byte of each of the w x h three-byte pixels.
void swapcolors(unsigned char *data, int w, int h);

// Demosaics a raw RGGB image of w x h samples (even row and even column
// red, odd row and odd column blue, green elsewhere, counted from the image
// corner) into 3 x w x h bytes red, green, blue by bilinear interpolation;
// the outermost rows and columns come out black.
void debayer(const unsigned char *raw, int w, int h, unsigned char *rgb);

// The host's poll, set by the host after loading the module (null: none).
// Called during the module's long waits so that a user break can stop
// them: it may raise, which abandons the module call under way, so a module
// calls it only where its state is consistent.
extern void (*campoll)();
// Calls campoll when set.
void PollHost();
// Sleeps ms milliseconds in slices of at most 50 ms and calls campoll after
// each.
void PollSleep(unsigned ms);
}
