#include <windows.h>

#include "ks_common/text_encoding.h"
#include "ks_tools/held_library.h"

namespace ks_tools {

// GetModuleHandleExW without flags answers a module the process has loaded and counts one more
// reference to it, given back by FreeLibrary; it never loads one.
HeldLibrary::HeldLibrary(const std::string& fileName) {
    HMODULE module = nullptr;
    if (GetModuleHandleExW(0, ks_common::decodeLenientUtf8(fileName).c_str(), &module))
        handle_ = module;
}

HeldLibrary::~HeldLibrary() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

// GetProcAddress answers every function as FARPROC; its real type is restored by the caller.
void* HeldLibrary::function(const char* name) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name))
                   : nullptr;
}

}  // namespace ks_tools
