// A host that knows Optivane only through the installed header and the
// module folder its build was told (OPTIVANE_MODULE_DIR): it loads the
// module, creates a camera and releases it. Creating opens nothing.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "optivane/optivane.h"

int main() {
    const std::string path = std::string(OPTIVANE_MODULE_DIR) + "/libOptivane.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
        return 1;
    }
    auto create = reinterpret_cast<DllCreateInstanceFn>(dlsym(module, "DllCreateInstance"));
    IAravisCamera* camera = nullptr;
    const HRESULT status =
        create == nullptr ? E_HANDLE : create(CLSID_AravisCamera, IID_IAravisCamera, reinterpret_cast<void**>(&camera));
    const bool released = SUCCEEDED(status) && camera->Release() == 0;
    dlclose(module);
    if (!released) {
        std::fprintf(stderr, "no camera from %s (0x%08x)\n", path.c_str(), static_cast<unsigned>(status));
        return 1;
    }
    std::printf("created and released a camera of %s\n", path.c_str());
    return 0;
}
