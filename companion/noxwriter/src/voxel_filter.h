#pragma once
// Spatial thinning: space is cut into cubes of the filter distance and the first point to land
// in a cube is kept, later ones are not. Memory grows with the number of occupied cubes.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace noxwriter {

class VoxelFilter {
public:
    explicit VoxelFilter(double size);
    // True when the point is the first in its cube (and is therefore kept).
    bool admit(const double xyz[3]);
    double size() const { return size_; }

private:
    struct Key {
        int64_t x, y, z;
    };
    static uint64_t hash(const Key& key);
    void grow();

    double size_;
    double inverse_;
    std::vector<Key> slots_;
    std::vector<uint8_t> used_;
    size_t count_ = 0;
};

}  // namespace noxwriter
