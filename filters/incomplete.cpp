// Filter module "incomplete", built for the tests only: it exports six of
// the seven filter functions (filterreaddata is missing), so that loading it
// must fail with "can't bind functions".
#include "image/io.h"

extern "C" {
const char *filtererror() { return "incomplete: no error"; }
bool filterfopen(const char *, bool) { return false; }
void filterfclose() {}
bool filterwriteheader(int, int, int, int, int, const char *) { return false; }
bool filterwritedata(const uint8_t *) { return false; }
bool filterreadheader(int *, int *, int *, int *, int *, const char *) { return false; }
}
