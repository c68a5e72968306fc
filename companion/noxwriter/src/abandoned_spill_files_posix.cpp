#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "abandoned_spill_files.h"
#include "nox_spill_name.h"
#include "unique_fd.h"
#include "writer_error.h"

namespace noxwriter {
namespace {

bool processHasEnded(long processId) {
    if (processId <= 0 || processId == static_cast<long>(::getpid())) return false;
    // EPERM means the process runs under another user: it runs.
    return ::kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH;
}

using Listing = std::unique_ptr<DIR, int (*)(DIR*)>;

// Removes the entries of the listed folder whose name gives a process (processOf answers -1 for
// any other name) that has ended, or that is this process when ownToo is set. Answers how many.
template <typename ProcessOf>
int removeFrom(const Listing& listing, ProcessOf processOf, bool ownToo) {
    const int folderFd = ::dirfd(listing.get());
    const long self = static_cast<long>(::getpid());
    int removed = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        const long process = processOf(entry->d_name);
        const bool own = ownToo && process == self;
        if (!own && !processHasEnded(process)) continue;
        nox::UniqueFd file(::openat(folderFd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat status {};
        if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        // A writer holds a lock on its temporary file while it lives, so a file whose lock is
        // taken belongs to a running writer even when its process id means nothing here (a
        // writer in another process namespace, or on another machine sharing the folder). This
        // process's own files are locked by its own writer, which the caller gives up.
        if (!own && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) continue;
        if (::unlinkat(folderFd, entry->d_name, 0) == 0) ++removed;
    }
    return removed;
}

}  // namespace

void removeAbandonedSpillFiles(const std::string& folder, const std::string& outputName) {
    const Listing listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) return;
    removeFrom(
        listing, [&](const char* name) { return spillFileProcess(name, outputName); }, false);
}

int removeAbandonedSpillFilesIn(const std::string& folder) {
    const Listing listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) {
        const int error = errno;
        throw WriterError(kInvalidArgument,
                          "cannot list the folder " + folder + ": " + std::strerror(error));
    }
    return removeFrom(listing, spillFileAnyProcess, true);
}

}  // namespace noxwriter
