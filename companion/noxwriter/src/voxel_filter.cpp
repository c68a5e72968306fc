#include "voxel_filter.h"

#include <cmath>

namespace noxwriter {

VoxelFilter::VoxelFilter(double size) : size_(size), inverse_(1.0 / size) {
    slots_.resize(1024);
    used_.resize(1024);
}

uint64_t VoxelFilter::hash(const Key& key) {
    uint64_t h = static_cast<uint64_t>(key.x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(key.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= static_cast<uint64_t>(key.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return h ^ (h >> 29);
}

void VoxelFilter::grow() {
    std::vector<Key> oldSlots(slots_.size() * 2);
    std::vector<uint8_t> oldUsed(used_.size() * 2);
    oldSlots.swap(slots_);
    oldUsed.swap(used_);
    const size_t mask = slots_.size() - 1;
    for (size_t i = 0; i < oldSlots.size(); ++i) {
        if (!oldUsed[i]) continue;
        size_t at = hash(oldSlots[i]) & mask;
        while (used_[at]) at = (at + 1) & mask;
        slots_[at] = oldSlots[i];
        used_[at] = 1;
    }
}

bool VoxelFilter::admit(const double xyz[3]) {
    // Callers refuse coordinates beyond 1e12 m, so cube indices fit 64 bits for any size > 1e-6.
    const Key key{static_cast<int64_t>(std::floor(xyz[0] * inverse_)),
                  static_cast<int64_t>(std::floor(xyz[1] * inverse_)),
                  static_cast<int64_t>(std::floor(xyz[2] * inverse_))};
    const size_t mask = slots_.size() - 1;
    size_t at = hash(key) & mask;
    while (used_[at]) {
        const Key& other = slots_[at];
        if (other.x == key.x && other.y == key.y && other.z == key.z) return false;
        at = (at + 1) & mask;
    }
    slots_[at] = key;
    used_[at] = 1;
    if (++count_ * 2 > slots_.size()) grow();
    return true;
}

}  // namespace noxwriter
