#include "spill_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "abandoned_spill_files.h"
#include "nox_spill_name.h"
#include "writer_error.h"

namespace noxwriter {
namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

SpillFile::SpillFile(std::string outputPath) : outputPath_(std::move(outputPath)) {
    const std::string name = nameOf(outputPath_);
    if (name.empty())
        throw WriterError(kInvalidArgument, "the output path names no file: " + outputPath_);
    removeAbandonedSpillFiles(folderOf(outputPath_), name);
    static std::atomic<unsigned> counter{0};
    // open(O_EXCL) with mode 0666 rather than mkstemp: the file then gets the permissions the
    // user's umask gives any new file, not mkstemp's 0600.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath_ = folderOf(outputPath_) + "/" + spillFileName(name, ::getpid(), counter++);
        const int fd =
            ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = nox::UniqueFd(fd);
            // Held while the file lives: a later writer of the same output knows by it that
            // the file is not abandoned (see removeAbandonedSpillFiles).
            ::flock(fd, LOCK_EX | LOCK_NB);
            return;
        }
        if (errno != EEXIST) {
            const int error = errno;
            throw WriterError(kCannotCreateOutput, "cannot create a file in the output folder of " +
                                                       outputPath_ + ": " + std::strerror(error));
        }
    }
    throw WriterError(kCannotCreateOutput, "no free temporary name beside " + outputPath_);
}

SpillFile::~SpillFile() {
    if (!published_) remove();
}

void SpillFile::failWrite(const char* what, int error) {
    throw WriterError(kWriteFailed,
                      std::string(what) + " " + temporaryPath_ + ": " + std::strerror(error));
}

void SpillFile::append(const void* data, size_t size) {
    writeAt(size_, data, size);
    size_ += size;
}

void SpillFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (!fd_.valid()) failWrite("cannot write to the removed file", EBADF);
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd_.get(), bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failWrite("cannot write", written < 0 ? errno : ENOSPC);
        bytes += written;
        offset += static_cast<uint64_t>(written);
        size -= static_cast<size_t>(written);
    }
}

void SpillFile::publish() {
    if (!fd_.valid()) failWrite("cannot publish the removed file", EBADF);
    if (::fdatasync(fd_.get()) != 0) failWrite("cannot flush", errno);
    if (::rename(temporaryPath_.c_str(), outputPath_.c_str()) != 0) {
        const int error = errno;
        throw WriterError(kCannotCreateOutput, "cannot rename " + temporaryPath_ + " to " +
                                                   outputPath_ + ": " + std::strerror(error));
    }
    published_ = true;
    fd_.reset();
    // Make the rename itself durable.
    nox::UniqueFd folder(::open(folderOf(outputPath_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) ::fsync(folder.get());
}

void SpillFile::remove() {
    if (fd_.valid()) {
        fd_.reset();
        ::unlink(temporaryPath_.c_str());
    }
}

}  // namespace noxwriter
