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

    // How the file will be read: FrontToBack tells the system, which then reads further ahead
    // (on Windows the file is opened with FILE_FLAG_SEQUENTIAL_SCAN).
    enum class Order { Any, FrontToBack };

    // Opens a regular file (UTF-8 path) without ever waiting: a named pipe, a socket, a device
    // or a folder is refused at once. When the file is not open, error() says why.
    static InputFile open(const std::string& path, Order order = Order::Any);

#if defined(_WIN32)
    bool isOpen() const { return handle_ != nullptr; }
#else
    bool isOpen() const { return fd_ >= 0; }
#endif
    // Why the last open or read failed: the path and the system's words.
    const std::string& error() const { return error_; }
    // Size in bytes, or -1 when it cannot be read.
    int64_t size() const;
    // Reads up to count bytes, fewer only at the end of the file; -1 on a read error.
    int64_t read(void* buffer, size_t count);
    // Asks the system to start reading count bytes at offset into its cache and returns without
    // waiting, so that a later read of them finds them there. A hint: nothing on Windows.
    void readAhead(uint64_t offset, uint64_t count) const;

private:
    static InputFile failed(std::string why);
#if defined(_WIN32)
    explicit InputFile(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;  // a file handle; null when not open
#else
    explicit InputFile(int fd) : fd_(fd) {}
    int fd_ = -1;
#endif
    std::string path_;
    std::string error_;
};

// Why a path cannot be read as an input file ("... is a folder, not a file"), or empty when it
// is a regular file or does not exist (the reader says so itself). Never opens the path, so it
// cannot block on a named pipe.
std::string describeNonRegularFile(const std::string& path);

// The system's text for an error number.
std::string systemErrorText(int error);

}  // namespace ks_formats::platform
