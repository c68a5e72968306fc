#pragma once
// What the tests ask of the operating system themselves, on Linux and on Windows alike: loading
// the stand-in libraries and finding their functions, the process's id and program file, and
// the environment. Header only: the header-only pieces that reach into the library's internals
// take it as well as the support library.
#include <cstdlib>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace ks_test {

// A library loaded from a path (a reference of the caller's own, given back by closeLibrary).
inline void* loadLibrary(const std::string& path) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

// The library of this file name if the process has it loaded already, with a reference of the
// caller's own; null when it is not loaded (nothing is loaded here).
inline void* loadedLibrary(const std::string& fileName) {
#if defined(_WIN32)
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(0, std::filesystem::path(fileName).filename().string().c_str(),
                            &module))
        return nullptr;
    return reinterpret_cast<void*>(module);
#else
    return dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
#endif
}

inline void* librarySymbol(void* library, const char* name) {
    if (!library) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

inline void closeLibrary(void* library) {
    if (!library) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

// A function of a library the process has loaded already; the library stays loaded by its other
// references, so the address stays good while they hold.
inline void* loadedSymbol(const std::string& fileName, const char* name) {
    void* library = loadedLibrary(fileName);
    void* symbol = librarySymbol(library, name);
    closeLibrary(library);
    return symbol;
}

// A path as the wide text the library and its companions take: UTF-16 code units, wchar_t on
// Windows and char16_t elsewhere.
#if defined(_WIN32)
inline std::wstring widePath(const std::filesystem::path& path) { return path.wstring(); }
#else
inline std::u16string widePath(const std::filesystem::path& path) { return path.u16string(); }
#endif

// UTF-8 text as the narrow text a host passes: UTF-8 itself on Linux, the ANSI code page on
// Windows (a character the code page lacks becomes "?").
inline std::string hostNarrow(const std::string& utf8) {
#if defined(_WIN32)
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), units);
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), units, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
#else
    return utf8;
#endif
}

inline int processId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

inline std::filesystem::path programFile() {
#if defined(_WIN32)
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())));
    return std::filesystem::path(buffer);
#else
    return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

// Both the C runtime's copy of the environment and, on Windows, the process's own, since the
// libraries under test read one or the other.
inline void setEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value);
    SetEnvironmentVariableA(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void unsetEnvironment(const char* name) {
#if defined(_WIN32)
    _putenv_s(name, "");
    SetEnvironmentVariableA(name, nullptr);
#else
    unsetenv(name);
#endif
}

}  // namespace ks_test
