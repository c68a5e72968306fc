#pragma once

#include <cstddef>
#include <memory>

namespace ks_formats::platform {

// Zeroed memory for the readers' large buffers (tens to hundreds of MiB), taken straight from
// the system and, where the system offers it, backed by huge pages: filling such a buffer then
// costs a few hundred page faults instead of one per 4 KiB page, which on a busy machine took
// longer than converting the points. The memory goes back to the system when the owner goes.
struct LargeBufferRelease {
    size_t mappedBytes = 0;
    void* mapping = nullptr;  // null: the memory came from calloc
    void operator()(void* memory) const;
};

template <typename T>
using LargeBuffer = std::unique_ptr<T[], LargeBufferRelease>;

// bytes of zeroed memory aligned for any value, or null when the system has none.
std::unique_ptr<unsigned char[], LargeBufferRelease> allocateLargeBuffer(size_t bytes);

// count zeroed values of a trivial type T, or null.
template <typename T>
LargeBuffer<T> allocateLargeArray(size_t count) {
    if (count > static_cast<size_t>(-1) / sizeof(T)) return nullptr;
    auto bytes = allocateLargeBuffer(count * sizeof(T));
    const LargeBufferRelease release = bytes.get_deleter();
    return LargeBuffer<T>(reinterpret_cast<T*>(bytes.release()), release);
}

}  // namespace ks_formats::platform
