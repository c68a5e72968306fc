#pragma once
// An opened file as the viewer presents it: a name, clouds with content flags and counts of the
// points a query delivers (null points are never delivered, so they are not counted).
#include <cstdint>
#include <memory>
#include <string>

#include "ks_common/wide_text.h"
#include "nox_file.h"

namespace lyrant {

inline constexpr uint32_t kContentIntensity = 0x1;
inline constexpr uint32_t kContentColour = 0x2;
inline constexpr uint32_t kContentNormals = 0x4;
inline constexpr uint32_t kContentClass = 0x10;

struct Scene {
    std::unique_ptr<NoxFile> file;
    ks_common::WideString name;  // the file name without folder and extension
    nox::Bounds worldBounds;

    const nox::FileIndex& index() const { return file->index(); }
    uint64_t deliveredPoints() const;
    uint32_t contentFlags() const;
    bool hasGrid() const;
};

uint32_t contentFlagsOf(uint32_t cloudChannels);
uint64_t deliveredPoints(const nox::CloudRecord& cloud);
// Bounds of the cloud's stored positions after its matrix.
nox::Bounds worldBoundsOf(const nox::CloudRecord& cloud);

}  // namespace lyrant
