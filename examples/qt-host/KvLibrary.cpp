#include "KvLibrary.h"

#include <dlfcn.h>

bool LoadKvLibrary(const std::string &path, KvLibrary &library, std::string &error)
{
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = dlerror();
        return false;
    }
#define QT_HOST_LOOKUP(name)                                                                       \
    library.name = reinterpret_cast<decltype(&::KV_##name)>(dlsym(handle, "KV_" #name));           \
    if (!library.name)                                                                             \
        error += "KV_" #name " ";
    QT_HOST_FUNCTIONS(QT_HOST_LOOKUP)
#undef QT_HOST_LOOKUP
    if (!error.empty())
        error = "missing in the library: " + error;
    return error.empty();
}
