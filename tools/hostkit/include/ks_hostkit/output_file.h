#pragma once

// A file written under a temporary name beside its target and renamed onto it only when
// complete, so a failed or interrupted export never leaves a half-written file under the name.
#include <cstdio>
#include <string>

namespace hostkit {

class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();  // removes the temporary file unless commit() succeeded
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }
    // Closes and renames onto the target; false (with errno set) when any write failed.
    bool commit();

private:
    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
};

}  // namespace hostkit
