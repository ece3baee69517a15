// The interpreter core on its own: linked with nothing of the image library
// or the front ends, it runs on this file's front-end functions, a console
// on the standard streams. That it links at all shows the core reaches the
// rest of the program only through the os* functions it declares; the test
// (tests/layers.cmake) also checks that it evaluates.
#include "interp/ks.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>

void oscheck() {}
void ostputc(int ch) { putchar(ch); }
void osflush() { fflush(stdout); }
int ostgetc() { return getchar(); }   // EOF (-1) ends the console
int ostgetkey() { return getchar() & 255; }
void osdisplay() {}
void osdisplut() {}
void osframes() {}
void osgetmouse(int *button, int *x, int *y, const char *) { *button = *x = *y = 0; }
const char *osexecute(const char *) { return ""; }
void osfinish() { fflush(stdout); }

uint32_t osticks() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return uint32_t(uint64_t(t.tv_sec) * 1000u + uint64_t(t.tv_nsec) / 1000000u);
}

void ossleep(uint32_t ms) {
    timespec t = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

// Words separated by blanks; enough for the options this test passes.
std::vector<std::string> osargwords(const char *arglist) {
    std::istringstream in(arglist);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

int main(int argc, char **argv) {
    std::string args = "interp-alone";
    for (int i = 1; i < argc; ++i) args += std::string(" ") + argv[i];
    ksmain(args.c_str());   // ends the process through wrapup
}
