#pragma once
// The file under construction: created beside the output under a hidden temporary name, filled
// as chunks arrive, and renamed onto the output only when complete. Destroying an unpublished
// spill file removes it, so a discarded or failed stream never leaves a file under the output name.
#include <cstdint>
#include <string>

#include "unique_fd.h"

namespace noxwriter {

class SpillFile {
public:
    explicit SpillFile(std::string outputPath);  // throws WriterError (kCannotCreateOutput)
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;
    ~SpillFile();

    void append(const void* data, size_t size);  // throws WriterError (kWriteFailed)
    void writeAt(uint64_t offset, const void* data, size_t size);
    uint64_t size() const { return size_; }
    // Flushes to the disk and renames onto the output path.
    void publish();
    // Removes the temporary file now (for instance to give back space after a failed write).
    void remove();

    const std::string& temporaryPath() const { return temporaryPath_; }

private:
    [[noreturn]] void failWrite(const char* what, int error);

    std::string outputPath_;
    std::string temporaryPath_;
    nox::UniqueFd fd_;
    uint64_t size_ = 0;
    bool published_ = false;
};

}  // namespace noxwriter
