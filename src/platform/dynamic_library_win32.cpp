// Libraries on Windows: LoadLibraryW in the system's search order (the program's folder first),
// GetProcAddress, and module paths from GetModuleFileNameW.
#include <windows.h>

#include <string>
#include <utility>

#include "ks_common/text_encoding.h"
#include "platform/dynamic_library.h"
#include "platform/input_file.h"

namespace ks_formats::platform {
namespace {

std::wstring wide(const std::string& text) {
    const WideString converted = ks_common::decodeLenientUtf8(text);
    return std::wstring(converted.begin(), converted.end());
}

std::string modulePath(HMODULE module) {
    std::wstring buffer(512, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return ks_common::encodeUtf8(WideString(buffer.begin(), buffer.end()));
        }
        buffer.resize(buffer.size() * 2);  // cut short: ask again with room to spare
    }
}

}  // namespace

DynamicLibrary::~DynamicLibrary() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

DynamicLibrary DynamicLibrary::load(const std::string& fileName, std::string* error) {
    HMODULE module = LoadLibraryW(wide(fileName).c_str());
    if (!module && error)
        *error = fileName + ": " + systemErrorText(static_cast<int>(GetLastError()));
    return DynamicLibrary(static_cast<void*>(module));
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!handle_) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string loadedLibraryPath(const std::string& fileName) {
    HMODULE module = GetModuleHandleW(wide(fileName).c_str());  // adds no reference
    return module ? modulePath(module) : std::string();
}

std::string modulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module))
        return {};
    return modulePath(module);
}

std::string executablePath() { return modulePath(nullptr); }

}  // namespace ks_formats::platform
