#include "checksum.h"

#include <new>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nox {

uint64_t checksum64(const void* data, size_t size) { return XXH3_64bits(data, size); }

Checksum64Stream::Checksum64Stream() : state_(XXH3_createState()) {
    if (!state_) throw std::bad_alloc();
    XXH3_64bits_reset(static_cast<XXH3_state_t*>(state_));
}

Checksum64Stream::~Checksum64Stream() { XXH3_freeState(static_cast<XXH3_state_t*>(state_)); }

void Checksum64Stream::update(const void* data, size_t size) {
    XXH3_64bits_update(static_cast<XXH3_state_t*>(state_), data, size);
}

uint64_t Checksum64Stream::digest() const {
    return XXH3_64bits_digest(static_cast<const XXH3_state_t*>(state_));
}

}  // namespace nox
