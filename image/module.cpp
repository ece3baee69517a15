// Finding and opening a module by name.
#include "image/module.h"

#include <unistd.h>

#include <cstring>
#include <string>

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
