// Image files: the native file format, the binding of a filter (the native
// routines or a filter module loaded at run time), and a helper that writes
// a file through a temporary so that a failed write never leaves a
// half-written file under the final name.
//
// The seven-function filter interface is the same for the native format and
// for every module; a module exports it under the plain C names
// filtererror, filterfopen, filterfclose, filterwriteheader, filterwritedata,
// filterreadheader and filterreaddata. This header knows nothing of the
// interpreter; filter modules include it too.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

// ------------------------------------------------------------ the interface
extern "C" {
typedef const char *(*filtererror_fn)();
typedef bool (*filterfopen_fn)(const char *name, bool write);
typedef void (*filterfclose_fn)();
typedef bool (*filterwriteheader_fn)(int x0, int y0, int w, int h, int depth, const char *options);
typedef bool (*filterwritedata_fn)(const uint8_t *data);
typedef bool (*filterreadheader_fn)(int *x0, int *y0, int *w, int *h, int *depth,
                                    const char *options);
typedef bool (*filterreaddata_fn)(uint8_t *data);
}

// The bound filter: all NULL when none is bound.
struct filterbinding {
    filtererror_fn filtererror;
    filterfopen_fn filterfopen;
    filterfclose_fn filterfclose;
    filterwriteheader_fn filterwriteheader;
    filterwritedata_fn filterwritedata;
    filterreadheader_fn filterreadheader;
    filterreaddata_fn filterreaddata;
};
extern filterbinding filter;
extern void *FilterDll;   // handle of the loaded module, NULL if none

// Unbinds the previous filter, then binds the native routines (name NULL or
// empty) or loads the module NAME.so (name cut to 123 characters). Failures
// go to ima_error: "can't load filter module" (nothing bound afterwards),
// "can't bind functions" (the module stays loaded with what was found).
void loadfilter(const char *name);
// Closes the filter's file, unloads the module, clears the binding.
void freefilter();
// True while a module is loaded.
bool filterok();

// Opens the shared object "NAME.so" (name cut to 123 characters) with
// immediate binding; a bare name is found in the program's "lib" folder.
// The handle, or NULL when it cannot be opened. Shared by the filter and
// the camera loaders.
void *openmodule(const char *name);

// ------------------------------------------------------- native routines
// Header: x0, y0, w, h as little-endian signed 16-bit, depth as one byte;
// then the pixel block of the image store for depth 1, 8 or 24.
enum { NATIVE_HEADER_BYTES = 9 };
const char *tvimaerror();
bool tvimafopen(const char *name, bool write);
void tvimafclose();
bool tvimawriteheader(int x0, int y0, int w, int h, int depth, const char *options);
bool tvimawritedata(const uint8_t *data);
bool tvimareadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *options);
bool tvimareaddata(uint8_t *data);

// Row size and row count of the pixel block of a native file; 0 rows for a
// depth without data.
struct blockrows {
    size_t rowbytes;
    size_t rows;
};
blockrows nativerows(int w, int h, int depth);

// --------------------------------------------------- write through a temporary
// The file is created as NAME.tmp-PID-N beside NAME and renamed onto NAME
// only by commit; abandon (or a failed commit) removes it. Header-only so
// that filter modules use the same helper without linking the library.
struct pendingfile {
    FILE *file = nullptr;
    std::string final, temp;
};

inline bool pendingopen(pendingfile &p, const char *name) {
    static unsigned counter;
    p.final = name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        p.temp = p.final + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        int fd = open(p.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        p.file = fdopen(fd, "wb");
        if (!p.file) {
            close(fd);
            unlink(p.temp.c_str());
            return false;
        }
        return true;
    }
    return false;
}

inline void pendingabandon(pendingfile &p) {
    if (!p.file) return;
    fclose(p.file);
    p.file = nullptr;
    unlink(p.temp.c_str());
}

// Flushes, closes and renames; on any failure the temporary is removed.
inline bool pendingcommit(pendingfile &p) {
    if (!p.file) return false;
    bool ok = fflush(p.file) == 0 && !ferror(p.file);
    ok = (fclose(p.file) == 0) && ok;
    p.file = nullptr;
    if (ok) ok = rename(p.temp.c_str(), p.final.c_str()) == 0;
    if (!ok) unlink(p.temp.c_str());
    return ok;
}
