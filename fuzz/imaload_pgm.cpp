// Fuzz target: IMALOAD through the pgm module (compiled into the target)
// and the round trip of what loads.
#include "fuzz/filterload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const filterbinding pgm = fuzzload::compiledmodule();
    return fuzzload::run(pgm, data, size);
}
