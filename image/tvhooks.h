// Entry points of the image library that interpreter units outside the
// image bindings call.
#pragma once

#include "interp/ks.h"

// EX2 of the example extension: a new GREY image (made the displayed image)
// whose every byte, border included, is the complement of grey's; grey is a
// GREY value, checked by the caller.
node tvgreyinvert(node grey);
