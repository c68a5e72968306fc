#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <utility>

namespace ks_formats::platform {

DynamicLibrary::~DynamicLibrary() {
    if (handle_) dlclose(handle_);
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_) dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

DynamicLibrary DynamicLibrary::load(const std::string& fileName, std::string* error) {
    dlerror();
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) return DynamicLibrary(handle);
    const char* message = dlerror();
    const std::string firstError = message ? message : "cannot load " + fileName;
    if (fileName.find('/') == std::string::npos) {
        // A bare name is searched from our own folder too: where a loader does not apply this
        // library's $ORIGIN (a sanitizer runtime intercepting dlopen), siblings are still found.
        const std::string self = modulePathOf(reinterpret_cast<const void*>(&executablePath));
        const size_t slash = self.rfind('/');
        if (slash != std::string::npos)
            handle = dlopen((self.substr(0, slash + 1) + fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle && error) *error = firstError;
    return DynamicLibrary(handle);
}

void* DynamicLibrary::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

std::string loadedLibraryPath(const std::string& fileName) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return {};
    std::string path;
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) path = map->l_name;
    dlclose(handle);  // drops only the reference NOLOAD added
    return path;
}

std::string modulePathOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

std::string executablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    return std::string(buffer, static_cast<size_t>(length));
}

}  // namespace ks_formats::platform
