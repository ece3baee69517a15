// Fuzz target: IMALOAD of the native format (header, host check, data) and
// the round trip of what loads.
#include "fuzz/filterload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const filterbinding native = {tvimaerror,       tvimafopen,     tvimafclose,
                                         tvimawriteheader, tvimawritedata, tvimareadheader,
                                         tvimareaddata};
    return fuzzload::run(native, data, size);
}
