// The camera-module loader: one module at a time, opened with dlopen and
// bound by the names of its seven exports.
#include "image/camera.h"
#include "image/intern.h"

camerabinding camera;

namespace {

void *CamDll;   // the loaded module, null when none

// What the module's campoll calls: the library's poll, when one is set.
void hostpoll() {
    if (ima_poll) ima_poll();
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
    if (!bindcamera(CamDll, camera)) {
        // freecamera calls the module's camfree when it has one
        freecamera();
        ima_error("can't bind functions");
    }
    if (auto hook = reinterpret_cast<void (**)()>(dlsym(CamDll, "campoll"))) *hook = hostpoll;
}
