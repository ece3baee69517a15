// Fuzz targets imaload_png, imaload_tiff and imaload_jpeg: IMALOAD through
// one file-format module (compiled into the target, chosen by FORMAT_LOSSY
// and the module source) and the round trip of what loads. The first byte
// of an input chooses the read options, so that parts of images and the
// 16-bit stretch are fuzzed too; the rest is the file.
#include "fuzz/filterload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const filterbinding module = fuzzload::compiledmodule();
    static const char *const options[] = {nullptr, "reduce=stretch", "x=1 y=2", "x=3 y=1 w=5 h=2"};
    if (size == 0) return 0;
    fuzzload::reading how{options[data[0] % 4], !FORMAT_LOSSY};
    return fuzzload::run(module, data + 1, size - 1, how);
}
