#pragma once

// A shared library that this process already holds, found by its file name, as the converter
// finds a viewer library that the host loaded before it: the library the converter bound in
// Initialize, for instance, is then reached with its own copy and never loaded a second time.
// The object keeps the library loaded while it lives.
#include <string>

namespace ks_tools {

class HeldLibrary {
public:
    // fileName as the loader knows it: "libNoxWriter.so", "NoxWriter.dll" (KS_LIBRARY_FILE).
    explicit HeldLibrary(const std::string& fileName);
    ~HeldLibrary();
    HeldLibrary(const HeldLibrary&) = delete;
    HeldLibrary& operator=(const HeldLibrary&) = delete;

    // False when this process holds no library of that name.
    bool held() const { return handle_ != nullptr; }
    // The exported function of that name; null when the library lacks it or is not held.
    void* function(const char* name) const;

private:
    void* handle_ = nullptr;
};

}  // namespace ks_tools
