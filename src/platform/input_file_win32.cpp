// Input files on Windows: wide paths (UTF-8 in, UTF-16 to the system), shared reading, and the
// system's own words for every failure.
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "ks_common/text_encoding.h"
#include "platform/input_file.h"

namespace ks_formats::platform {
namespace {

std::wstring widePath(const std::string& path) {
    const WideString wide = ks_common::decodeLenientUtf8(path);
    return std::wstring(wide.begin(), wide.end());
}

std::string folderMessage(const std::string& path) {
    return path + " is a folder, not a file that can be read";
}

}  // namespace

InputFile::~InputFile() {
    if (handle_) CloseHandle(handle_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (handle_) CloseHandle(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

std::string systemErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || !text) return "system error " + std::to_string(error);
    std::wstring message(text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    return ks_common::encodeUtf8(WideString(message.begin(), message.end()));
}

InputFile InputFile::failed(std::string why) {
    InputFile file;
    file.error_ = std::move(why);
    return file;
}

InputFile InputFile::open(const std::string& path, Order order) {
    const std::wstring wide = widePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failed(folderMessage(path));
    const DWORD flags = FILE_ATTRIBUTE_NORMAL |
                        (order == Order::FrontToBack ? FILE_FLAG_SEQUENTIAL_SCAN : DWORD(0));
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failed(path + ": " + systemErrorText(static_cast<int>(GetLastError())));
    // A pipe or a device would block reads or answer no size: only disk files are read.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return failed(path + " is not a regular file that can be read");
    }
    InputFile file(static_cast<void*>(handle));
    file.path_ = path;
    return file;
}

std::string describeNonRegularFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return folderMessage(path);
}

int64_t InputFile::size() const {
    LARGE_INTEGER size{};
    if (!handle_ || !GetFileSizeEx(handle_, &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
}

// Windows has no read-ahead request that returns at once; a file opened for reading front to
// back has the system's own read-ahead.
void InputFile::readAhead(uint64_t, uint64_t) const {}

int64_t InputFile::read(void* buffer, size_t count) {
    if (!handle_) return -1;
    size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < count) {
        // ReadFile takes at most 4 GiB - 1 per call.
        const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle_, out + done, want, &got, nullptr)) {
            error_ = path_ + ": " + systemErrorText(static_cast<int>(GetLastError()));
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return static_cast<int64_t>(done);
}

}  // namespace ks_formats::platform
