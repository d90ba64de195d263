#include "ZendraModule.h"

namespace optivane::test {

const ModuleLoader& ZendraModule::Loader() {
    static const ModuleLoader loader = ModuleLoader::ForSibling("Zendra");
    return loader;
}

}  // namespace optivane::test
