// The display picture as a PNG file, for the headless front end.
#pragma once

#include <string>

// Writes the display picture (exactly its width x height RGB pixels) to
// path as a PNG, through savefile: a regular file is replaced whole by a
// temporary renamed over it, so a reader never sees a half-written picture;
// a link is followed, a device or FIFO written directly. Returns
// an empty string on success, else what went wrong. Without a picture
// nothing is written.
std::string pngwritedisplay(const char *path);
