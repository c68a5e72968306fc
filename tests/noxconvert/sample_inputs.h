#pragma once
// Inputs for the runs, generated per test: a point stream, a grid scan with empty cells, and a
// project of two scan positions whose point-database scans see the same wall.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace nctest {

struct SampleInputs {
    std::filesystem::path stream;  // scan.rxp
    uint64_t streamPoints = 0;
    std::filesystem::path grid;     // room.3dd
    uint64_t gridPoints = 0;        // cells with a return
    uint64_t gridNulls = 0;         // cells without one
    std::filesystem::path project;  // site.rsp
    uint64_t wallPoints = 0;        // per scan
    std::array<double, 3> wallMin{},
        wallMax{};  // world bounds of the wall, project offset included
};

SampleInputs writeSampleInputs(const std::filesystem::path& folder);

// A fresh folder for the running test below the build tree's scratch folder.
std::filesystem::path testFolder();

}  // namespace nctest
