#pragma once

// Writing grid-scan files: an exact grid given by the caller, or a deterministic synthetic scan.
// Errors (bad sizes, a file that cannot be created or written) throw std::runtime_error.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace ks_sampledata {

struct GridCell {
    float x = 0, y = 0, z = 0;           // metres; (0, 0, 0) marks a cell without a return
    float intensity = 0;                 // 0..1
    float red = 0, green = 0, blue = 0;  // 0..1
};

// A grid held in memory, row-major. intensities and colours are empty when the channel is
// absent, otherwise one and three floats per cell.
struct GridScan {
    int32_t rows = 0;
    int32_t columns = 0;
    std::vector<float> positions;
    std::vector<float> intensities;
    std::vector<float> colours;

    uint64_t cells() const { return static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns); }
    void setCell(int32_t row, int32_t column, const GridCell& cell);
};

// An empty grid of this size (all cells (0, 0, 0)) with the channels asked for.
GridScan makeGridScan(int32_t rows, int32_t columns, bool intensity, bool colour);

// Writes the grid; throws when the arrays do not match its size.
void writeGridScan(const std::filesystem::path& path, const GridScan& grid);

// Writes a grid whose cells come from cellAt(row, column), without holding the grid in memory.
// cellAt is called once per cell for each array of the file (positions, then intensities and
// colours when asked for), so it must give the same cell every time.
using GridCellSource = std::function<GridCell(int32_t row, int32_t column)>;
void writeGridCells(const std::filesystem::path& path, int32_t rows, int32_t columns,
                    bool intensity, bool colour, const GridCellSource& cellAt);

// A synthetic scan: rows are elevation steps, columns azimuth steps of a scanner looking at the
// walls, floor and ceiling of a room with gently curved walls. Every dropoutEvery-th cell has
// no return (0: none).
struct SyntheticGrid {
    int32_t rows = 100;
    int32_t columns = 200;
    bool intensity = true;
    bool colour = true;
    uint32_t dropoutEvery = 0;
    float roomRadius = 8.0f;  // metres
};

GridCell syntheticGridCell(const SyntheticGrid& settings, int32_t row, int32_t column);

GridScan syntheticGridScan(const SyntheticGrid& settings);

// Writes the synthetic scan cell by cell, without holding the grid in memory.
void writeSyntheticGrid(const std::filesystem::path& path, const SyntheticGrid& settings);

}  // namespace ks_sampledata
