#pragma once

#include <cstdint>

#include "ks_formats/export.h"

namespace ks_formats {

// Plain records exported for hosts; the library only copies them.
struct KS_API NoxCloud {
    uint32_t index;
    uint32_t group;
    uint32_t flags;
    uint32_t numPoints;
};

struct KS_API NoxGroup {
    uint32_t index;
    uint32_t flags;
    uint32_t numClouds;
};

struct KS_API NoxFile {
    uint32_t numGroups;
};

static_assert(sizeof(NoxCloud) == 16 && sizeof(NoxGroup) == 12 && sizeof(NoxFile) == 4,
              "the records are plain 32-bit words");

}  // namespace ks_formats
