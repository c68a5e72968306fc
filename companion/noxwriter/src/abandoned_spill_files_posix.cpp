#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "abandoned_spill_files.h"
#include "nox_spill_name.h"
#include "unique_fd.h"

namespace noxwriter {
namespace {

bool processHasEnded(long processId) {
    if (processId <= 0 || processId == static_cast<long>(::getpid())) return false;
    // EPERM means the process runs under another user: it runs.
    return ::kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH;
}

}  // namespace

void removeAbandonedSpillFiles(const std::string& folder, const std::string& outputName) {
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) return;
    const int folderFd = ::dirfd(listing.get());
    while (const dirent* entry = ::readdir(listing.get())) {
        if (!processHasEnded(spillFileProcess(entry->d_name, outputName))) continue;
        nox::UniqueFd file(::openat(folderFd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat status {};
        if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        // A writer holds a lock on its temporary file while it lives, so a file whose lock is
        // taken belongs to a running writer even when its process id means nothing here (a
        // writer in another process namespace, or on another machine sharing the folder).
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) continue;
        ::unlinkat(folderFd, entry->d_name, 0);
    }
}

}  // namespace noxwriter
