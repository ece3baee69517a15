// The body of a fuzz target for an image-file filter: the input is a file,
// read the way IMALOAD reads it (open, header, the host's header check, a
// block of the image store's size for that header, data), and an image
// that loads is saved with the same filter and loaded again, which must
// give the same header and the same pixel block.
//
// A target binds the filter's seven functions and calls fuzzfilterload
// from LLVMFuzzerTestOneInput (see imaload_pgm.cpp).
#pragma once

#include "image/io.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

// The seven functions of the filter module compiled into the target.
extern "C" {
const char *filtererror();
bool filterfopen(const char *name, bool write);
void filterfclose();
bool filterwriteheader(int x0, int y0, int w, int h, int depth, const char *options);
bool filterwritedata(const uint8_t *data);
bool filterreadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *options);
bool filterreaddata(uint8_t *data);
}

namespace fuzzload {

// The binding of the module compiled into the target.
inline filterbinding compiledmodule() {
#define FUZZ_EXPORT_(f) f,
    return {FILTER_EXPORTS(FUZZ_EXPORT_)};
#undef FUZZ_EXPORT_
}

// The input as a regular file: a memory file, rewritten for each input and
// named through /proc, so no disk is touched.
inline const char *inputfile(const uint8_t *data, size_t size) {
    static int fd = -1;
    static std::string name;
    if (fd < 0) {
        fd = memfd_create("fuzz-input", MFD_CLOEXEC);
        if (fd < 0) abort();
        name = "/proc/self/fd/" + std::to_string(fd);
    }
    if (ftruncate(fd, 0) != 0) abort();
    for (size_t done = 0; done < size;) {
        ssize_t n = pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0) abort();
        done += size_t(n);
    }
    return name.c_str();
}

// Where the round trip saves: a private folder, removed at exit.
inline const char *outputfile() {
    static std::string name;
    if (name.empty()) {
        static char dir[] = "/tmp/tavex-fuzz-XXXXXX";
        if (!mkdtemp(dir)) abort();
        name = std::string(dir) + "/saved";
        atexit([] {
            unlink(name.c_str());
            rmdir(name.substr(0, name.rfind('/')).c_str());
        });
    }
    return name.c_str();
}

// Size of the image store's pixel block (bordered for grey).
inline size_t blockbytes(int w, int h, int depth) {
    switch (depth) {
    case 1: return size_t(w + 7) / 8 * size_t(h);
    case 8: return size_t(w + 2) * size_t(h + 2);
    default: return 3 * size_t(w) * size_t(h);
    }
}

struct header {
    int x0 = 0, y0 = 0, w = 0, h = 0, depth = 0;
    bool operator==(const header &) const = default;
};

// Loads name with the bound filter: false when any step refuses it.
inline bool load(const char *name, header &hd, std::vector<uint8_t> &block,
                 const char *options = nullptr) {
    bool ok = filter.filterfopen(name, false) &&
              filter.filterreadheader(&hd.x0, &hd.y0, &hd.w, &hd.h, &hd.depth, options) &&
              loadableheader(hd.x0, hd.y0, hd.w, hd.h, hd.depth);
    if (ok) {
        // Filled with a pattern: bytes the reader leaves alone must still
        // be equal after the round trip.
        block.assign(blockbytes(hd.w, hd.h, hd.depth), 0xA5);
        ok = filter.filterreaddata(block.data());
    }
    filter.filterfclose();
    return ok;
}

inline bool save(const char *name, const header &hd, const std::vector<uint8_t> &block) {
    bool ok = filter.filterfopen(name, true) &&
              filter.filterwriteheader(hd.x0, hd.y0, hd.w, hd.h, hd.depth, nullptr) &&
              filter.filterwritedata(block.data());
    filter.filterfclose();
    return ok;
}

// How a target reads: the options text of the load (the reload of the
// saved image takes none), and whether the format keeps pixels exactly (a
// lossy one must still give back the same header).
struct reading {
    const char *options = nullptr;
    bool lossless = true;
};

inline int run(const filterbinding &binding, const uint8_t *data, size_t size, reading how = {}) {
    filter = binding;
    header hd;
    std::vector<uint8_t> block;
    if (load(inputfile(data, size), hd, block, how.options)) {
        header again;
        std::vector<uint8_t> back;
        if (!save(outputfile(), hd, block) || !load(outputfile(), again, back) || !(again == hd) ||
            (how.lossless && back != block))
            abort();   // what loads must save and load back unchanged
    }
    filter = filterbinding{};
    return 0;
}

}  // namespace fuzzload
