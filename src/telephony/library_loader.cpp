#include "telephony/library_loader.h"

#include <dlfcn.h>

namespace porthold::telephony {

LibraryLoader::Library DynamicLibraryLoader::Open(const std::string& path) {
    // Every reference is bound now, so that a library that cannot work fails
    // here, once, rather than at some later call.
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* DynamicLibraryLoader::FindEntry(Library library, const char* name) {
    return ::dlsym(library, name);
}

}  // namespace porthold::telephony
