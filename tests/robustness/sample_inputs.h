#pragma once
// Small valid inputs of every kind the library reads, written into a folder, each with the file
// whose bytes a test corrupts and the name that goes into the batch.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ks_test {

struct SampleInput {
    std::string kind;
    std::filesystem::path corruptible;  // the file whose bytes are damaged
    std::filesystem::path importName;   // what the batch is given
    std::vector<uint8_t> valid;         // the undamaged bytes of `corruptible`
};

// A project of one scan position whose one scan lies in the point database (format version 6,
// with colours): `points` points along a line. Answers the project file.
std::filesystem::path writeOnePositionProject(const std::filesystem::path& folder, int points);

// Point stream, grid scan, point-database positions and colours, and a project file.
std::vector<SampleInput> writeSampleInputs(const std::filesystem::path& folder);

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Damaged versions of `valid`: empty, cut at many offsets, single and multiple bit flips, and
// the header's 32-bit fields set to absurd values. Deterministic for a seed.
std::vector<std::vector<uint8_t>> corruptedVariants(const std::vector<uint8_t>& valid,
                                                    uint32_t seed);

}  // namespace ks_test
