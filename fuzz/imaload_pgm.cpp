// Fuzz target: IMALOAD through the pgm module (compiled into the target)
// and the round trip of what loads.
#include "filterload.h"

extern "C" {
const char *filtererror();
bool filterfopen(const char *name, bool write);
void filterfclose();
bool filterwriteheader(int x0, int y0, int w, int h, int depth, const char *options);
bool filterwritedata(const uint8_t *data);
bool filterreadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *options);
bool filterreaddata(uint8_t *data);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const filterbinding pgm = {filtererror,       filterfopen,     filterfclose,
                                      filterwriteheader, filterwritedata, filterreadheader,
                                      filterreaddata};
    return fuzzload::run(pgm, data, size);
}
