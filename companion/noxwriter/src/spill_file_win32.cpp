// The spill file on Windows: the same life as on POSIX systems (spill_file.cpp), through the
// Windows file functions. Paths arrive as UTF-8 and are opened through their UTF-16 form, so
// every file name Windows allows works.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>

#include "abandoned_spill_files.h"
#include "ks_common/text_encoding.h"
#include "nox_spill_name.h"
#include "spill_file.h"
#include "writer_error.h"

namespace noxwriter {
namespace {

// Both separators count; a drive prefix such as "C:" stays with the folder.
size_t lastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

std::string nameOf(const std::string& path) {
    const size_t at = lastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

// The folder with its trailing separator, "" for a bare name (the current folder).
std::string folderWithSeparator(const std::string& path) {
    const size_t at = lastSeparator(path);
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

// WideString is std::wstring here: UTF-16, what the W functions take.
std::wstring widePath(const std::string& utf8) { return ks_common::decodeLenientUtf8(utf8); }

std::string errorText(DWORD error) {
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    std::string text = length ? std::string(message, length) : std::string();
    if (message) LocalFree(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "Windows error " + std::to_string(error) : text;
}

HANDLE handleOf(const nox::UniqueFd& fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd.get()));
}

}  // namespace

SpillFile::SpillFile(std::string outputPath) : outputPath_(std::move(outputPath)) {
    const std::string name = nameOf(outputPath_);
    if (name.empty())
        throw WriterError(kInvalidArgument, "the output path names no file: " + outputPath_);
    removeAbandonedSpillFiles(folderWithSeparator(outputPath_), name);
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath_ = folderWithSeparator(outputPath_) +
                         spillFileName(name, static_cast<long>(GetCurrentProcessId()), counter++);
        // CREATE_NEW is the exclusive creation; others may read the file while it grows, and it
        // is not handed to child processes.
        const HANDLE handle = CreateFileW(widePath(temporaryPath_).c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            // The descriptor owns the handle from here: closing it closes the handle.
            const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
            if (fd < 0) {
                CloseHandle(handle);
                DeleteFileW(widePath(temporaryPath_).c_str());
                throw WriterError(kCannotCreateOutput,
                                  "no file descriptor for " + temporaryPath_ + " is left");
            }
            fd_ = nox::UniqueFd(fd);
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            throw WriterError(kCannotCreateOutput, "cannot create a file in the output folder of " +
                                                       outputPath_ + ": " + errorText(error));
    }
    throw WriterError(kCannotCreateOutput, "no free temporary name beside " + outputPath_);
}

SpillFile::~SpillFile() {
    if (!published_) remove();
}

void SpillFile::failWrite(const char* what, int error) {
    throw WriterError(kWriteFailed, std::string(what) + " " + temporaryPath_ + ": " +
                                        errorText(static_cast<DWORD>(error)));
}

void SpillFile::append(const void* data, size_t size) {
    writeAt(size_, data, size);
    size_ += size;
}

void SpillFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (!fd_.valid()) failWrite("cannot write to the removed file", ERROR_INVALID_HANDLE);
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        // The offset goes with each write, as pwrite does: the file position plays no part.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handleOf(fd_), bytes, chunk, &written, &at))
            failWrite("cannot write", static_cast<int>(GetLastError()));
        if (written == 0) failWrite("cannot write", ERROR_DISK_FULL);
        bytes += written;
        offset += written;
        size -= written;
    }
}

void SpillFile::publish() {
    if (!fd_.valid()) failWrite("cannot publish the removed file", ERROR_INVALID_HANDLE);
    if (!FlushFileBuffers(handleOf(fd_)))
        failWrite("cannot flush", static_cast<int>(GetLastError()));
    // Windows renames onto an existing file only when asked to, and a file open without
    // delete sharing cannot be replaced: the handle is closed first. MOVEFILE_WRITE_THROUGH
    // returns once the rename itself is on the disk.
    fd_.reset();
    if (!MoveFileExW(widePath(temporaryPath_).c_str(), widePath(outputPath_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(widePath(temporaryPath_).c_str());
        throw WriterError(kCannotCreateOutput, "cannot rename " + temporaryPath_ + " to " +
                                                   outputPath_ + ": " + errorText(error));
    }
    published_ = true;
}

void SpillFile::remove() {
    if (fd_.valid()) {
        fd_.reset();
        DeleteFileW(widePath(temporaryPath_).c_str());
    }
}

}  // namespace noxwriter
