#pragma once
// Constants and records of the NOX container, versions 1 and 2. docs/nox-format.md describes every
// byte; keep the two in step.
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace nox {

inline constexpr std::array<uint8_t, 8> kMagic = {'K', 'S', 'N', 'O', 'X', '\r', '\n', 0x1A};
// Version 2 adds chunk codings that use the layout of grid clouds and the scanner's position;
// the container around them is unchanged. Readers take both versions, and the writer can still
// write version 1 for older readers.
inline constexpr uint16_t kMajorVersion = 2;
inline constexpr uint16_t kOldestMajorVersion = 1;
inline constexpr uint16_t kMinorVersion = 0;
inline constexpr uint32_t kHeaderSize = 64;

// Index section tags, four ASCII letters read as a little-endian u32.
constexpr uint32_t sectionTag(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}
inline constexpr uint32_t kSectionMeta = sectionTag("META");
inline constexpr uint32_t kSectionGroups = sectionTag("GRPS");
inline constexpr uint32_t kSectionClouds = sectionTag("CLDS");
inline constexpr uint32_t kSectionChunks = sectionTag("CHKS");

// Group flags, as the writer receives them.
inline constexpr uint32_t kGroupCombine = 0x1;
inline constexpr uint32_t kGroupNormals = 0x2;
inline constexpr uint32_t kGroupNormalise = 0x4;

// Cloud channel flags, as the writer receives them, plus our own normals bit.
inline constexpr uint32_t kCloudColour = 0x4;
inline constexpr uint32_t kCloudIntensity = 0x8;
inline constexpr uint32_t kCloudClass = 0x20;
inline constexpr uint32_t kCloudNormals = 0x40;
inline constexpr uint32_t kCloudChannels =
    kCloudColour | kCloudIntensity | kCloudClass | kCloudNormals;

// Steps finer than this are not supported: a tolerance at or below zero means this step.
inline constexpr double kMinimumStep = 1e-6;
// Coordinates beyond this magnitude (metres) are refused; it keeps step counts inside 63 bits.
inline constexpr double kMaximumCoordinate = 1e12;
inline constexpr uint32_t kChunkCapacity = 1u << 16;

struct FileHeader {
    uint16_t major = kMajorVersion;
    uint16_t minor = kMinorVersion;
    uint64_t indexOffset = 0;
    uint64_t indexSize = 0;
    uint64_t indexChecksum = 0;
    uint64_t fileSize = 0;
    uint64_t totalPoints = 0;
};

struct MetaTag {
    uint8_t kind = 0;  // 0 system tag, 1 user tag
    std::string name;  // UTF-8
    std::string value;
};
inline constexpr uint8_t kSystemTag = 0;
inline constexpr uint8_t kUserTag = 1;

struct GroupRecord {
    uint32_t flags = 0;
    std::string name;
    // Range of the stored intensities of the group; empty (min > max) when none.
    int32_t intensityMin = std::numeric_limits<int16_t>::max() + 1;
    int32_t intensityMax = std::numeric_limits<int16_t>::min() - 1;
};

struct Bounds {
    double min[3] = {std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity()};
    double max[3] = {-std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()};
    bool empty() const { return min[0] > max[0]; }
    void include(const Bounds& other) {
        for (int a = 0; a < 3; ++a) {
            if (other.min[a] < min[a]) min[a] = other.min[a];
            if (other.max[a] > max[a]) max[a] = other.max[a];
        }
    }
};

struct CloudRecord {
    uint32_t group = 0;
    uint32_t flags = 0;  // channel flags actually stored
    std::string name;
    std::array<double, 16> matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int32_t rows = 0;
    int32_t columns = 0;
    uint64_t points = 0;  // null points included
    uint64_t nullPoints = 0;
    uint64_t filteredPoints = 0;  // removed by spatial filtering (dropped or turned null)
    uint32_t sourceClouds = 1;    // more than one when the group combined its clouds
    Bounds bounds;                // of the stored positions, in the cloud's own frame
    uint32_t firstChunk = 0;
    uint32_t chunkCount = 0;
};

struct ChunkRecord {
    uint64_t offset = 0;
    uint64_t storedSize = 0;
    uint64_t checksum = 0;
    uint32_t cloud = 0;
    uint32_t points = 0;
    uint32_t nullPoints = 0;
    uint32_t channels = 0;  // cloud channel flags present in this chunk
    double step = 0;
    double origin[3] = {0, 0, 0};
    Bounds bounds;
};
inline constexpr size_t kChunkRecordSize = 8 * 3 + 4 * 4 + 8 + 8 * 3 + 8 * 6;

struct FileIndex {
    std::vector<MetaTag> tags;
    std::vector<GroupRecord> groups;
    std::vector<CloudRecord> clouds;
    std::vector<ChunkRecord> chunks;
};

}  // namespace nox
