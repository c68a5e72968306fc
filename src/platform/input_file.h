#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ks_formats::platform {

// A file opened for reading; closed when the object goes.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    static InputFile open(const std::string& path);

    bool isOpen() const { return fd_ >= 0; }
    // Size in bytes, or -1 when it cannot be read.
    int64_t size() const;
    // Reads up to count bytes, fewer only at the end of the file; -1 on a read error.
    int64_t read(void* buffer, size_t count);

private:
    explicit InputFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace ks_formats::platform
