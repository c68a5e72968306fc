// Opening and positioned reads of a NOX file on Windows. The path arrives as UTF-8 and is
// opened through its UTF-16 form.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "ks_common/text_encoding.h"
#include "nox_file.h"

namespace lyrant {

bool NoxFile::openFile(const std::string& path, uint64_t& fileSize, std::string& reason) {
    // Readers and writers of other processes are not locked out, as on POSIX systems; the
    // handle is not handed to child processes. The chunks are read in file order.
    const HANDLE handle =
        CreateFileW(ks_common::decodeLenientUtf8(path).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = "cannot open: Windows error " + std::to_string(GetLastError());
        return false;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        reason = "cannot open: no file descriptor is left";
        return false;
    }
    fd_ = nox::UniqueFd(fd);
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
        reason = "not a regular file";
        return false;
    }
    fileSize = static_cast<uint64_t>(size.QuadPart);
    return true;
}

// Windows has no read-ahead request that returns at once; the file was opened for sequential
// reading, which has the system read ahead by itself.
void NoxFile::readAheadAt(uint64_t, uint64_t) const {}

bool NoxFile::readAt(uint64_t offset, size_t size, uint8_t* out) const {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_.get()));
    while (size > 0) {
        // The offset goes with each read, as with pread.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(handle, out, chunk, &got, &at) || got == 0) return false;
        out += got;
        offset += got;
        size -= got;
    }
    return true;
}

}  // namespace lyrant
