#pragma once
// The benchmark's input: an RSP project whose scans are read from the point database (two
// record versions), plus point streams and a grid scan given as extra input files. This is a
// stand-in until the project tool writes such projects; swap generateSampleProject for it.
#include <cstdint>
#include <filesystem>
#include <vector>

namespace end_to_end {

struct SampleProject {
    std::filesystem::path project;                   // the .rsp file (point-database scans)
    std::vector<std::filesystem::path> extraInputs;  // point streams and grid scans
};

// Writes the project into folder (about pointCount points, a fifth per scan) unless a complete
// one of that size is already there; answers where it is. Throws std::runtime_error on failure.
SampleProject generateSampleProject(const std::filesystem::path& folder, uint64_t pointCount);

}  // namespace end_to_end
