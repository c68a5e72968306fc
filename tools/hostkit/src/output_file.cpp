#include "ks_hostkit/output_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "ks_tools/files.h"
#include "ks_tools/utf8_path.h"

namespace hostkit {
namespace {

void removeFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(ks_tools::pathFromUtf8(path), ignored);
}

}  // namespace

OutputFile::OutputFile(std::string path)
    : path_(std::move(path)),
      temporary_(path_ + ".part" + std::to_string(ks_tools::currentProcessId())) {
    file_ = ks_tools::openForWriting(temporary_);
}

OutputFile::~OutputFile() {
    if (file_) {
        std::fclose(file_);
        removeFile(temporary_);
    }
}

bool OutputFile::commit() {
    if (!file_) return false;
    const bool written = std::ferror(file_) == 0;
    const int error = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed || !ks_tools::replaceFile(temporary_, path_)) {
        const int failure = !written ? error : errno;
        removeFile(temporary_);
        errno = failure;
        return false;
    }
    return true;
}

}  // namespace hostkit
