#pragma once

#include <cstddef>
#include <string>

namespace ks_common {

// A named shared-memory object: a POSIX shared-memory object, or on Windows a named file mapping
// backed by the paging file. Names are given without the leading "/".
class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Opens an object that another process created; invalid when there is none.
    static SharedMemory openExisting(const std::string& name);
    // Creates (or reuses) the object with this size, for the monitoring side.
    static SharedMemory create(const std::string& name, size_t size);
    // Removes the name (POSIX). On Windows a mapping lives as long as a handle to it does, so
    // there is nothing to remove and the answer is true.
    static bool remove(const std::string& name);

#if defined(_WIN32)
    bool isValid() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }

private:
    explicit SharedMemory(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;
#else
    bool isValid() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }

private:
    explicit SharedMemory(int fd) : fd_(fd) {}
    int fd_ = -1;
#endif
};

// A read-write shared view of the first bytes of a shared-memory object; unmapped when it goes.
class MappedView {
public:
    MappedView() = default;
    ~MappedView();
    MappedView(MappedView&& other) noexcept;
    MappedView& operator=(MappedView&& other) noexcept;
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    static MappedView map(const SharedMemory& memory, size_t size);

    bool isValid() const { return data_ != nullptr; }
    unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

// A named auto-reset event between processes (on POSIX systems a named semaphore standing in its
// place): signal() wakes one waiter. Names are given without the leading "/".
class NamedEvent {
public:
    NamedEvent() = default;
    ~NamedEvent();
    NamedEvent(NamedEvent&& other) noexcept;
    NamedEvent& operator=(NamedEvent&& other) noexcept;
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // Opens the event, creating it (signalled or not) when it does not exist yet.
    static NamedEvent openOrCreate(const std::string& name, bool initiallySignalled);
    // As SharedMemory::remove.
    static bool remove(const std::string& name);

    bool isValid() const { return handle_ != nullptr; }
    bool signal();
    // Waits up to timeoutMs; true when the event was signalled.
    bool wait(int timeoutMs);

private:
    void* handle_ = nullptr;
};

}  // namespace ks_common
