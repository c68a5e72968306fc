// Opening and positioned reads of a NOX file on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ks_common/read_ahead.h"
#include "nox_file.h"

namespace lyrant {

bool NoxFile::openFile(const std::string& path, uint64_t& fileSize, std::string& reason) {
    fd_ = nox::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_.valid()) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd_.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    fileSize = static_cast<uint64_t>(status.st_size);
    ks_common::adviseSequentialReading(fd_.get());
    return true;
}

void NoxFile::readAheadAt(uint64_t offset, uint64_t size) const {
    ks_common::readAhead(fd_.get(), offset, size);
}

bool NoxFile::readAt(uint64_t offset, size_t size, uint8_t* out) const {
    while (size > 0) {
        const ssize_t got = ::pread(fd_.get(), out, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace lyrant
