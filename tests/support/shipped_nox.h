#pragma once
// For tests through the shipped writer and viewer libraries: the writer's settings put back,
// a file opened or every point of it read back through the viewer, and the index as the bytes
// hold it.
#include <cstdint>
#include <filesystem>
#include <vector>

#include "ks_nox/nox_format.h"

namespace ks_test {

// Writer settings are process-wide; every test starts from these.
void resetWriterSettings();

// True when the viewer opens the file, which it does for complete NOX files only.
bool opensInViewer(const std::filesystem::path& path);

struct ReadBack {
    std::vector<double> xyz;
    std::vector<uint8_t> rgb;
    std::vector<int16_t> intensity;
    std::vector<float> normals;
    std::vector<uint8_t> classes;
    size_t size() const { return intensity.size(); }
};

// All points of the file through a query, in blocks of `block`. Fails the test if it won't open.
ReadBack readAll(const std::filesystem::path& path, uint32_t block = 777);

// The file's index, straight from the bytes (white-box).
nox::FileIndex readIndex(const std::filesystem::path& path);

}  // namespace ks_test
