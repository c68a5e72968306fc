// Read-ahead hints through posix_fadvise.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <limits>

#include "ks_common/read_ahead.h"

namespace ks_common {
namespace {

// Linux cuts a single WILLNEED request down to the file's read-ahead window or the device's
// largest request, whichever is larger: at least 256 KiB on a disk with the default 128 KiB
// read-ahead once the sequential hint has doubled it. The range is therefore handed over in
// pieces of that size, each of which the system takes whole.
constexpr uint64_t kPieceBytes = 256 * 1024;

}  // namespace

void adviseSequentialReading(int fd) {
    if (fd >= 0) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void adviseSequentialReading(std::FILE* file) {
    if (file) adviseSequentialReading(fileno(file));
}

void readAhead(int fd, uint64_t offset, uint64_t length) {
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
    // Only up to the end of the file: past it every piece would be a call that fetches nothing.
    const auto size = static_cast<uint64_t>(info.st_size);
    if (offset >= size) return;
    length = std::min(length, size - offset);
    while (length > 0) {
        const uint64_t piece = std::min(length, kPieceBytes);
        // An error (a file system without read-ahead) only means there is no hint.
        if (posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(piece),
                          POSIX_FADV_WILLNEED) != 0)
            return;
        offset += piece;
        length -= piece;
    }
}

void readAhead(std::FILE* file, uint64_t offset, uint64_t length) {
    if (file) readAhead(fileno(file), offset, length);
}

}  // namespace ks_common
