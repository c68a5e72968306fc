// Large buffers on Windows: committed pages straight from the system, which hands them out
// zeroed. Large pages need a privilege that hosts rarely hold, so ordinary pages are used.
#include <windows.h>

#include <cstdlib>

#include "platform/large_buffer.h"

namespace ks_formats::platform {

void LargeBufferRelease::operator()(void* memory) const {
    if (mapping)
        VirtualFree(mapping, 0, MEM_RELEASE);
    else
        std::free(memory);
}

std::unique_ptr<unsigned char[], LargeBufferRelease> allocateLargeBuffer(size_t bytes) {
    if (bytes == 0) bytes = 1;
    // Below a megabyte the heap serves as well and wastes no page rounding.
    if (bytes < (size_t(1) << 20))
        return {static_cast<unsigned char*>(std::calloc(bytes, 1)), LargeBufferRelease{}};
    void* memory = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!memory) return nullptr;
    return {static_cast<unsigned char*>(memory), LargeBufferRelease{bytes, memory}};
}

}  // namespace ks_formats::platform
