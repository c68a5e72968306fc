#pragma once

// A synthetic project of a small site (see sample_site.h) seen from four scan positions: the
// project file with each position's registration matrix and the project's own POP matrix, point
// streams of three positions, a grid scan of the fourth, and the project database's data files
// of every scan in several record layouts. Each scan is written in its scanner's own frame, so
// only the project's matrices put the scans together. Errors throw std::runtime_error.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ks_sampledata/rsp_project.h"

namespace ks_sampledata {

struct SampleProjectSettings {
    // About this many returns in all, shared evenly by the scans; the exact counts are in the
    // answer. Fewer than kMinimumSamplePoints is refused.
    uint64_t points = 400'000;
};

inline constexpr uint64_t kMinimumSamplePoints = 1'000;

struct SampleScan {
    std::string position;  // the scan position's name and folder
    std::string file;      // the scan's file name in the position's SINGLESCANS folder
    bool grid = false;     // a grid scan, else a point stream
    RspMatrix sop;         // scanner frame to site frame
    uint16_t rdbFormatVersion = 0;
    uint16_t rdbRecordVariant = 0;
    uint32_t rows = 0, columns = 0;   // beam steps per line, lines
    uint64_t points = 0;              // returns, in every file of the scan
    uint64_t nullPoints = 0;          // grid cells (and database records) without a return
    std::filesystem::path scanFile;   // the point stream or grid scan
    std::filesystem::path rdbFolder;  // the folder with P3D.rds and P3D-RGB.rds
};

struct SampleProject {
    std::filesystem::path projectFile;
    RspMatrix pop;  // site frame to project frame
    std::vector<SampleScan> scans;

    uint64_t points() const;
    uint64_t nullPoints() const;
};

// Writes the project into folder (created when missing; files of an earlier sample project
// there are overwritten).
SampleProject writeSampleProject(const std::filesystem::path& folder,
                                 const SampleProjectSettings& settings);

}  // namespace ks_sampledata
