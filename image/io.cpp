// Image files: the native format's seven routines, and the binding of a
// filter, native or a module loaded with dlopen.
#include "image/io.h"
#include "image/intern.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

filterbinding filter;
void *FilterDll;

// ================================================================ native format
namespace {

// One file at a time: the open file (a reader's, or a writer's temporary),
// the last header read or written and the text of the last error.
struct nativestate {
    FILE *reading = nullptr;
    savefile writing;
    int16_t x0 = 0, y0 = 0, w = 0, h = 0;
    uint8_t depth = 0;
    const char *error = "no error";
};
nativestate native;

bool put16(FILE *f, int16_t v) {
    uint8_t b[2] = {uint8_t(uint16_t(v) & 0xFF), uint8_t(uint16_t(v) >> 8)};
    return fwrite(b, 1, 2, f) == 2;
}

bool get16(FILE *f, int16_t &v) {
    uint8_t b[2];
    if (fread(b, 1, 2, f) != 2) return false;
    v = int16_t(uint16_t(b[0] | (b[1] << 8)));
    return true;
}

bool fits16(int v) { return v >= INT16_MIN && v <= INT16_MAX; }

}  // namespace

blockrows nativerows(int w, int h, int depth) {
    if (w < 1 || h < 1) return {0, 0};
    switch (depth) {
    case 1: return {size_t(w + 7) / 8, size_t(h)};
    case 8: return {size_t(w) + 2, size_t(h) + 2};
    case 24: return {3 * size_t(w), size_t(h)};
    default: return {0, 0};
    }
}

const char *tvimaerror() { return native.error; }

bool tvimafopen(const char *name, bool write) {
    tvimafclose();
    native.error = "open error";
    if (write) return savebegin(native.writing, name);
    native.reading = fopen(name, "rb");
    return native.reading != nullptr;
}

// A write that did not reach its end is abandoned: the temporary goes away
// and whatever file had the final name stays as it was.
void tvimafclose() {
    if (native.reading) fclose(native.reading);
    native.reading = nullptr;
    savecancel(native.writing);
}

bool tvimawriteheader(int x0, int y0, int w, int h, int depth, const char *) {
    // Values that the 16-bit fields cannot hold would come back as another
    // image; such an image is refused rather than written wrongly.
    if (!fits16(x0) || !fits16(y0) || !fits16(w) || !fits16(h) || depth < 0 || depth > 255) {
        native.error = "write error, origin or size out of range";
        return false;
    }
    native.x0 = int16_t(x0);
    native.y0 = int16_t(y0);
    native.w = int16_t(w);
    native.h = int16_t(h);
    native.depth = uint8_t(depth);
    native.error = "write error";
    FILE *f = native.writing.file;
    if (!f) return false;
    return put16(f, native.x0) && put16(f, native.y0) && put16(f, native.w) &&
           put16(f, native.h) && fputc(native.depth, f) != EOF;
}

// The whole block or nothing: the file is complete after the data, so the
// temporary is renamed onto the final name here.
bool tvimawritedata(const uint8_t *data) {
    native.error = "write error";
    if (!native.writing.file) return false;
    blockrows b = nativerows(native.w, native.h, native.depth);
    if (b.rows && fwrite(data, b.rowbytes, b.rows, native.writing.file) != b.rows) return false;
    return savecommit(native.writing);
}

bool tvimareadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *) {
    native.error = "read error";
    FILE *f = native.reading;
    if (!f) return false;
    int16_t hx0, hy0, hw, hh;
    int d;
    if (!get16(f, hx0) || !get16(f, hy0) || !get16(f, hw) || !get16(f, hh)) return false;
    if ((d = fgetc(f)) == EOF) return false;
    native.x0 = hx0;
    native.y0 = hy0;
    native.w = hw;
    native.h = hh;
    native.depth = uint8_t(d);
    *x0 = hx0;
    *y0 = hy0;
    *w = hw;
    *h = hh;
    *depth = d;
    // A regular file too short for the block its header announces is
    // refused before anything is allocated for it.
    struct stat st;
    if (loadableheader(hx0, hy0, hw, hh, d) && fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) {
        blockrows b = nativerows(hw, hh, d);
        if (uint64_t(st.st_size) < NATIVE_HEADER_BYTES + uint64_t(b.rowbytes) * b.rows) return false;
    }
    return true;
}

// Every row must be present: a partial block would leave part of the image
// with undefined contents.
bool tvimareaddata(uint8_t *data) {
    native.error = "read error";
    if (!native.reading) return false;
    blockrows b = nativerows(native.w, native.h, native.depth);
    if (b.rows == 0) return true;
    return fread(data, b.rowbytes, b.rows, native.reading) == b.rows;
}

// ================================================================ binding
namespace {

constexpr filterbinding nativebinding = {tvimaerror,       tvimafopen,      tvimafclose,
                                         tvimawriteheader, tvimawritedata,  tvimareadheader,
                                         tvimareaddata};

template <typename F>
void bindsymbol(F &slot, const char *symbol, bool &complete) {
    slot = reinterpret_cast<F>(dlsym(FilterDll, symbol));
    if (!slot) complete = false;
}

}  // namespace

// Loads NAME.so with immediate binding. A bare name is searched along the
// loader's path, which includes the program's run path: "$ORIGIN/lib" in
// the build tree, "$ORIGIN/../lib/tavex" installed. Both folders are tried
// explicitly when that fails, because a dlopen that a sanitizer runtime
// intercepts is searched with the runtime's run path instead of the
// program's.
void *openmodule(const char *name) {
    std::string path(name, strnlen(name, 123));
    path += ".so";
    void *handle = dlopen(path.c_str(), RTLD_NOW);
    if (handle || path.find('/') != std::string::npos) return handle;
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return nullptr;
    std::string dir(exe, size_t(n));
    dir.erase(dir.rfind('/') + 1);
    for (const char *folder : {"lib/", "../lib/tavex/"})
        if ((handle = dlopen((dir + folder + path).c_str(), RTLD_NOW))) return handle;
    return nullptr;
}

void freefilter() {
    if (filter.filterfclose) filter.filterfclose();
    if (FilterDll) dlclose(FilterDll);
    FilterDll = nullptr;
    filter = filterbinding{};
}

bool filterok() { return FilterDll != nullptr; }

void loadfilter(const char *name) {
    freefilter();
    if (!name || !*name) {
        filter = nativebinding;
        return;
    }
    FilterDll = openmodule(name);
    if (!FilterDll) ima_error("can't load filter module");
    bool complete = true;
    bindsymbol(filter.filtererror, "filtererror", complete);
    bindsymbol(filter.filterfopen, "filterfopen", complete);
    bindsymbol(filter.filterfclose, "filterfclose", complete);
    bindsymbol(filter.filterwriteheader, "filterwriteheader", complete);
    bindsymbol(filter.filterwritedata, "filterwritedata", complete);
    bindsymbol(filter.filterreadheader, "filterreadheader", complete);
    bindsymbol(filter.filterreaddata, "filterreaddata", complete);
    if (!complete) ima_error("can't bind functions");
}
