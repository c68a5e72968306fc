#pragma once
// An E57 file read back the way the standard lays it out, written apart from the exporter so that
// the two only agree when both follow the standard: the file header, every page's CRC-32C, the
// XML section (parsed with libxml2) and each scan's compressed-vector section, its packets and
// their bit-packed fields. Every rule the file breaks is collected as a fault, in words.
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ks_test {

// CRC-32C (Castagnoli), bit by bit.
uint32_t e57Crc32c(const uint8_t* data, size_t size);

struct E57Field {
    std::string name;
    std::string type;       // "Float", "Integer" or "ScaledInteger"
    std::string precision;  // of a Float: "double" or "single"
    int64_t minimum = 0, maximum = 0;
    double scale = 1, offset = 0;
};

struct E57Scan {
    std::string guid, name;
    std::array<double, 4> rotation{};  // w, x, y, z
    std::array<double, 3> translation{};
    std::optional<std::array<double, 6>> bounds;  // x min, x max, y min, y max, z min, z max
    std::map<std::string, double> limits;         // intensityMinimum, colorRedMaximum, ...
    uint64_t fileOffset = 0;
    uint64_t recordCount = 0;
    std::vector<E57Field> prototype;
    std::map<std::string, std::vector<double>> values;  // by field name, one per record
    uint64_t packets = 0;

    // The rotation of the pose, row-major.
    std::array<double, 9> rotationMatrix() const;
    // The pose applied to record i: its world coordinates.
    std::array<double, 3> world(size_t i) const;
};

struct E57File {
    uint32_t major = 0, minor = 0;
    uint64_t physicalLength = 0, xmlOffset = 0, xmlLength = 0, pageSize = 0;
    uint64_t pages = 0;
    std::string formatName, guid;
    std::vector<std::string> rootChildren;  // element names under e57Root, in order
    size_t images = 0;
    std::vector<E57Scan> scans;
    std::vector<std::string> faults;  // empty when the file keeps every rule checked
};

E57File readE57(const std::filesystem::path& path);

}  // namespace ks_test
