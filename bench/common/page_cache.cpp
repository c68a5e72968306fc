#include "page_cache.h"

#include <fcntl.h>
#include <unistd.h>

namespace bench {

void evictFromPageCache(const std::vector<std::filesystem::path>& files) {
    for (const std::filesystem::path& file : files) {
        const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
}

}  // namespace bench
