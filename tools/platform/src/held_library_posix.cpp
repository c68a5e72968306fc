#include <dlfcn.h>

#include "ks_tools/held_library.h"

namespace ks_tools {

// RTLD_NOLOAD answers the copy already loaded under that name and loads nothing; the handle
// counts as one more reference, given back by dlclose.
HeldLibrary::HeldLibrary(const std::string& fileName)
    : handle_(::dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_LOCAL)) {}

HeldLibrary::~HeldLibrary() {
    if (handle_) ::dlclose(handle_);
}

void* HeldLibrary::function(const char* name) const {
    return handle_ ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace ks_tools
