#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "ks_common/text_encoding.h"
#include "ks_tools/files.h"

namespace ks_tools {
namespace {

std::wstring wide(const std::string& utf8) { return ks_common::fromUtf8(utf8.c_str()); }

// errno for the system errors a file move meets, so callers report both systems alike.
int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

}  // namespace

std::FILE* openForWriting(const std::string& utf8Path) {
    return _wfopen(wide(utf8Path).c_str(), L"wb");
}

bool seekTo(std::FILE* file, uint64_t offset) {
    return _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET) == 0;
}

// rename() refuses an existing target on Windows; MoveFileExW replaces it in one step on the
// same volume.
bool replaceFile(const std::string& fromUtf8, const std::string& toUtf8) {
    if (MoveFileExW(wide(fromUtf8).c_str(), wide(toUtf8).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    errno = errnoFor(GetLastError());
    return false;
}

long currentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

// The C runtime's copy, which getenv() in the libraries reads (it updates the process's too).
bool setEnvironment(const char* name, const std::string& value) {
    return _putenv_s(name, value.c_str()) == 0;
}

std::optional<std::string> libraryNarrowName(const std::string& utf8Path) {
    // A system set to UTF-8 as its ANSI code page spells everything (and refuses the flags below).
    if (GetACP() == CP_UTF8) return utf8Path;
    const std::wstring name = wide(utf8Path);
    if (name.empty()) return std::string();
    BOOL lost = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(),
                                         static_cast<int>(name.size()), nullptr, 0, nullptr, &lost);
    if (size <= 0 || lost) return std::nullopt;
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), static_cast<int>(name.size()),
                        narrow.data(), size, nullptr, &lost);
    if (lost) return std::nullopt;
    return narrow;
}

std::string lastSystemError() {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length ? ks_common::toUtf8(text) : std::string();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : message;
}

}  // namespace ks_tools
