#pragma once
// Small valid inputs of the kinds the library reads, written per test with the sample-data
// writers.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ks_test {

using SitePoint = std::array<double, 3>;

// A project (site.rsp) of two scan positions that see the same site points, each scan in the
// point database in its scanner's own frame: Pos1 stands at the origin (record version 1), Pos2
// at (10, 0) turned by 90 degrees (version 6). The project places the site at `siteOffset`.
// Answers the project file.
std::filesystem::path writeTwoPositionProject(const std::filesystem::path& folder,
                                              const std::vector<SitePoint>& sitePoints,
                                              const SitePoint& siteOffset);

// A project of one scan position whose one scan lies in the point database (record version 6,
// with colours): `points` points along a line. Answers the project file.
std::filesystem::path writeOnePositionProject(const std::filesystem::path& folder, int points);

// A point stream, a grid scan with empty cells, and a two-position project whose scans see the
// same wall.
struct SampleInputs {
    std::filesystem::path stream;  // scan.rxp
    uint64_t streamPoints = 0;
    std::filesystem::path grid;      // room.3dd
    uint64_t gridPoints = 0;         // cells with a return
    uint64_t gridNulls = 0;          // cells without one
    std::filesystem::path project;   // site.rsp
    uint64_t wallPoints = 0;         // per scan
    SitePoint wallMin{}, wallMax{};  // world bounds of the wall, project offset included
};

SampleInputs writeSampleInputs(const std::filesystem::path& folder);

// A point stream that takes minutes to read, for tests that must act while a conversion runs: a
// header, then all-zero records as far as a sparse file of 64 GiB reaches. It takes next to no
// room on disk. Answers the stream's path.
std::filesystem::path writeEndlessPointStream(const std::filesystem::path& path);

// One small input of each kind, with the file whose bytes a test damages and the name that goes
// into the batch.
struct CorruptibleInput {
    std::string kind;
    std::filesystem::path corruptible;  // the file whose bytes are damaged
    std::filesystem::path importName;   // what the batch is given
    std::vector<uint8_t> valid;         // the undamaged bytes of `corruptible`
};

// Point stream, grid scan, point-database positions and colours, and a project file.
std::vector<CorruptibleInput> writeCorruptibleInputs(const std::filesystem::path& folder);

}  // namespace ks_test
