#include "output_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace noxconvert {

OutputFile::OutputFile(std::string path)
    : path_(std::move(path)), temporary_(path_ + ".part" + std::to_string(::getpid())) {
    file_ = std::fopen(temporary_.c_str(), "wb");
}

OutputFile::~OutputFile() {
    if (file_) {
        std::fclose(file_);
        std::remove(temporary_.c_str());
    }
}

bool OutputFile::commit() {
    if (!file_) return false;
    const bool written = std::ferror(file_) == 0;
    const int error = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const int failure = !written ? error : errno;
        std::remove(temporary_.c_str());
        errno = failure;
        return false;
    }
    return true;
}

}  // namespace noxconvert
