// Entry points of the image bindings for the rest of the program.
#pragma once

#include "interp/ks.h"

// Fills the interpreter's image hooks (ksimage) and so makes images work;
// every program calls it before the interpreter starts.
void tvregister();

// EX2 of the example extension: a new GREY image (made the displayed image)
// whose every byte, border included, is the complement of grey's; grey is a
// GREY value, checked by the caller.
node tvgreyinvert(node grey);
