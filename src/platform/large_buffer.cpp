#include "platform/large_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace ks_formats::platform {

namespace {
// The size of a huge page on x86-64; buffers start on such a boundary so that all of them can
// be backed by huge pages.
constexpr size_t kHugePage = size_t(2) << 20;
}  // namespace

void LargeBufferRelease::operator()(void* memory) const {
    if (mapping)
        ::munmap(mapping, mappedBytes);
    else
        std::free(memory);
}

std::unique_ptr<unsigned char[], LargeBufferRelease> allocateLargeBuffer(size_t bytes) {
    if (bytes == 0) bytes = 1;
    // A small buffer would waste most of a huge page.
    if (bytes < 2 * kHugePage)
        return {static_cast<unsigned char*>(std::calloc(bytes, 1)), LargeBufferRelease{}};
    if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    const size_t mapped = rounded + kHugePage;  // room to move the start onto a boundary
    void* mapping =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return nullptr;
    const uintptr_t start =
        (reinterpret_cast<uintptr_t>(mapping) + kHugePage - 1) / kHugePage * kHugePage;
    auto* memory = reinterpret_cast<unsigned char*>(start);
#ifdef MADV_HUGEPAGE
    // Advice only: without huge pages the buffer works the same, with more faults.
    ::madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    return {memory, LargeBufferRelease{mapped, mapping}};
}

}  // namespace ks_formats::platform
