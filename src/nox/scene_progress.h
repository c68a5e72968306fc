#pragma once

#include <cstdint>

namespace ks_formats {

// Whole percent of a scene's points handled so far. Scenes may hold billions of points, so the
// product is formed in 128 bits. A scene that claims no points, or fewer than were delivered,
// counts as done rather than dividing by zero or passing 100.
inline int scenePercent(uint64_t handled, uint64_t total) {
    if (total == 0 || handled >= total) return 100;
    return static_cast<int>(static_cast<unsigned __int128>(handled) * 100u / total);
}

}  // namespace ks_formats
