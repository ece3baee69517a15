// The camera-module loader: one module at a time, opened with dlopen and
// bound by the names of its seven exports.
#include "camera.h"
#include "intern.h"
#include "io.h"

#include <dlfcn.h>

camerabinding camera;

namespace {

void *CamDll;   // the loaded module, null when none

template <typename F>
void bindsymbol(F &slot, const char *symbol, bool &complete) {
    slot = reinterpret_cast<F>(dlsym(CamDll, symbol));
    if (!slot) complete = false;
}

}  // namespace

void freecamera() {
    if (camera.camfree) camera.camfree();
    if (CamDll) dlclose(CamDll);
    CamDll = nullptr;
    camera = camerabinding{};
}

bool cameraok() { return CamDll != nullptr; }

void loadcamera(const char *name) {
    freecamera();
    CamDll = openmodule(name);
    if (!CamDll) ima_error("can't load the library");
    bool complete = true;
    bindsymbol(camera.camerror, "camerror", complete);
    bindsymbol(camera.caminit, "caminit", complete);
    bindsymbol(camera.camfree, "camfree", complete);
    bindsymbol(camera.camsnap, "camsnap", complete);
    bindsymbol(camera.camreadheader, "camreadheader", complete);
    bindsymbol(camera.camreaddata, "camreaddata", complete);
    bindsymbol(camera.camlut, "camlut", complete);
    if (!complete) {
        // freecamera calls the module's camfree when it has one
        freecamera();
        ima_error("can't bind functions");
    }
}
