// Entry points of the image bindings for the rest of the program.
#pragma once

#include "interp/ks.h"

// Fills the interpreter's image hooks (ksimage) and adds the tables of the
// image functions and of the example extension, and so makes images work;
// every program calls it before the interpreter starts.
void tvregister();
