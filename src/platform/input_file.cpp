#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "ks_common/read_ahead.h"

namespace ks_formats::platform {

InputFile::~InputFile() {
    if (fd_ >= 0) close(fd_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

namespace {

const char* kindOfNonRegular(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

std::string notAFile(const std::string& path, mode_t mode) {
    return path + " is " + kindOfNonRegular(mode) + ", not a file that can be read";
}

}  // namespace

std::string systemErrorText(int error) {
    char buffer[256] = {};
    // The GNU strerror_r answers a pointer that may or may not be the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

InputFile InputFile::failed(std::string why) {
    InputFile file;
    file.error_ = std::move(why);
    return file;
}

InputFile InputFile::open(const std::string& path, Order order) {
    // Without O_NONBLOCK, opening a named pipe waits for a writer, where not even a cancel
    // reaches the conversion.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failed(path + ": " + systemErrorText(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        return failed(path + ": " + systemErrorText(error));
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return failed(notAFile(path, info.st_mode));
    }
    if (order == Order::FrontToBack) ks_common::adviseSequentialReading(fd);
    InputFile file(fd);
    file.path_ = path;
    return file;
}

std::string describeNonRegularFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
    return notAFile(path, info.st_mode);
}

int64_t InputFile::size() const {
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

void InputFile::readAhead(uint64_t offset, uint64_t count) const {
    ks_common::readAhead(fd_, offset, count);
}

int64_t InputFile::read(void* buffer, size_t count) {
    if (fd_ < 0) return -1;
    size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < count) {
        const ssize_t got = ::read(fd_, out + done, count - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            error_ = path_ + ": " + systemErrorText(errno);
            return -1;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

}  // namespace ks_formats::platform
