// The spill file of the fuzzing writer: it checks that the output's folder takes a new file, as
// the real one does when it creates its temporary file, then keeps only the size of what would
// have been written. Nothing is synced, renamed or left behind, so a fuzzer's time goes to the
// readers under test rather than to building files. Built only into the fuzzing writer.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "nox_spill_name.h"
#include "spill_file.h"
#include "writer_error.h"

namespace noxwriter {

SpillFile::SpillFile(std::string outputPath) : outputPath_(std::move(outputPath)) {
    const size_t slash = outputPath_.rfind('/');
    const std::string name =
        slash == std::string::npos ? outputPath_ : outputPath_.substr(slash + 1);
    if (name.empty())
        throw WriterError(kInvalidArgument, "the output path names no file: " + outputPath_);
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : outputPath_.substr(0, slash));
    temporaryPath_ = folder + "/" + spillFileName(name, ::getpid(), 0);
    const int fd = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        throw WriterError(kCannotCreateOutput, "cannot create a file in the output folder of " +
                                                   outputPath_ + ": " + std::strerror(error));
    }
    ::close(fd);
    ::unlink(temporaryPath_.c_str());
}

SpillFile::~SpillFile() = default;

void SpillFile::failWrite(const char* what, int error) {
    throw WriterError(kWriteFailed,
                      std::string(what) + " " + temporaryPath_ + ": " + std::strerror(error));
}

void SpillFile::append(const void*, size_t size) {
    if (published_) failWrite("cannot write to the published file", EBADF);
    size_ += size;
}

void SpillFile::writeAt(uint64_t offset, const void*, size_t size) {
    if (published_) failWrite("cannot write to the published file", EBADF);
    if (offset + size > size_) size_ = offset + size;
}

void SpillFile::publish() { published_ = true; }

void SpillFile::remove() {}

}  // namespace noxwriter
