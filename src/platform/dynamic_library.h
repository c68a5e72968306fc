#pragma once

#include <string>

namespace ks_formats::platform {

// A shared library loaded by file name (system search order, $ORIGIN of the caller first).
// Closed when the object goes, unless keepLoaded() handed the handle to the process.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads with immediate binding and local symbols. On failure the result is not loaded and
    // error (when given) says why.
    static DynamicLibrary load(const std::string& fileName, std::string* error = nullptr);

    bool isLoaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const;

    // The library stays loaded for the rest of the process.
    void keepLoaded() { handle_ = nullptr; }

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;
};

// Full path of an already loaded library with this file name, or empty when it is not loaded.
std::string loadedLibraryPath(const std::string& fileName);

// Full path of the module that contains this address, or empty.
std::string modulePathOf(const void* address);

// Full path of the running program, or empty.
std::string executablePath();

}  // namespace ks_formats::platform
