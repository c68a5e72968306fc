#include "checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nox {

uint64_t checksum64(const void* data, size_t size) { return XXH3_64bits(data, size); }

}  // namespace nox
