// The Lisp layer of the image library: image values, the allocators under
// the image-memory budget, re-framing of arguments and the display hook.
#pragma once

#include "interp/ks.h"
#include "image/intern.h"

#include <cstring>
#include <initializer_list>

// Allocators: a new value holding an image of the current image frame;
// pixel contents undefined. May collect; abort "no more image memory".
node tvbinnew();
node tvgreynew();
node tvcolnew();
node tvlgreynew();
node tvfgreynew();

// The value itself when it has the frame's geometry, else a new value of the
// same type with the overlapping part copied and the rest 0.
node tvconvert(node img);

// Makes img the displayed image (the display refreshes after the top-level
// evaluation).
void tvdisplay(node img);

// The store record behind an image value.
inline s_image &tvrecord(node img) { return imarray[getimage(img)]; }
inline uint8_t *tvdata(node img) { return tvrecord(img).data; }

// Takes the next argument: a BIN, GREY or COL value (ksbadtype otherwise).
node tvargima();
node tvargbin();
node tvarggrey();
node tvargcol();

// Takes the next argument: a list of exactly 2, 3 or 4 FIXNUMs.
void ksga2fix(int *a, int *b);
void ksga3fix(int *a, int *b, int *c);
void ksga4fix(int *a, int *b, int *c, int *d);

// ---------------------------------------------------------------------------
// Additions of the image layer itself (tvintern, tvdisp).

// A value whose image FREEALL released while it was still referenced: the
// node keeps type FREE with word A = TV_RELEASED, so it is never mistaken
// for a live image nor put back on the free list while referenced.
enum : intptr_t { TV_RELEASED = -1 };
inline bool tvreleased(node x) { return x && x->n_type == FREE && x->a.raw == TV_RELEASED; }

// x must be a BIN, GREY or COL value: a released one gets "image was released
// by freeall", anything else the type error. Returns x.
node tvcheckima(node x);

// Display state changes: a new image is to be shown after the evaluation
// (tvdisplay does that for a given value), or only the frames changed.
void tvredisplay();
void tvframeschanged();   // sends the frames to the GUI, asks for a frame redraw
void tvdispinit();        // display part of tvinit

// The tables that tvregister adds to the interpreter: the example
// extension (tvexample) and the image functions (tvftab).
extern const funrow funtab2[];
extern const funrow funtab3[];

// The image hooks of the interpreter (ksimage), filled by tvregister.
void tvinit();
void tvfinish();
void tvdispnow();
void tvfreeimage(node img);   // also for an operator's working images
void tvqinfo();
void tvmeminfo();
void tvframes(int frames[8]);   // image frame x y w h, measure frame x y w h

// A new list of FIXNUMs (the partial list is protected while it grows).
node tvfixlist(std::initializer_list<int> values);

// Lets a user break stop a long-running library routine: the interpreter's
// poll (or the given one) is the library's ima_poll while the guard lives.
struct tvbreakpoll {
    explicit tvbreakpoll(void (*poll)() = oscheck) { ima_poll = poll; }
    ~tvbreakpoll() { ima_poll = nullptr; }
    tvbreakpoll(const tvbreakpoll &) = delete;
    tvbreakpoll &operator=(const tvbreakpoll &) = delete;
};
