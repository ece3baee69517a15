// Modules: shared objects loaded by name at run time whose interface is a
// set of plain C exports. A host binds the exports into a record of function
// pointers, one field per export, named as the export. The camera interface
// (camera.h) and the filter interface (io.h) are both bound this way; each
// lists its exports once in an X-macro (CAMERA_EXPORTS, FILTER_EXPORTS).
#pragma once

#include <dlfcn.h>

#include <type_traits>

// Opens the shared object "NAME.so" (name cut to 123 characters) with
// immediate binding; a bare name is found in the program's "lib" folder
// (build tree) or in "../lib/tavex" beside it (installed).
// The handle, or null when it cannot be opened.
void *openmodule(const char *name);

// Sets slot to the export symbol of the opened module dll; false (and the
// slot null) when the module has no such export.
template <typename F>
bool bindexport(void *dll, F &slot, const char *symbol) {
    slot = reinterpret_cast<F>(dlsym(dll, symbol));
    return slot != nullptr;
}

// Binds every export that the X-macro LIST names into the record b from the
// opened module dll. False when any is missing; the ones found stay set, so
// that the module's own clean-up can still be called.
#define BIND_EXPORTS(LIST, dll, b)                   \
    [dll_ = (dll), &b_ = (b)] {                      \
        bool complete_ = true;                       \
        LIST(BIND_EXPORT_ONE_)                       \
        return complete_;                            \
    }()
#define BIND_EXPORT_ONE_(f) complete_ = bindexport(dll_, b_.f, #f) && complete_;

// In a module, after its exports: a compile-time check that the export f
// has exactly the type f_fn that the host binds it with. A module checks
// all of them with LIST(CHECK_EXPORT_TYPE).
#define CHECK_EXPORT_TYPE(f) \
    static_assert(std::is_same_v<decltype(&f), f##_fn>, #f " differs from the host's type");
