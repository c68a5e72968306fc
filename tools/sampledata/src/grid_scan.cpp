#include "ks_sampledata/grid_scan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "binary_output.h"
#include "grid_scan_format.h"
#include "ks_common/little_endian.h"
#include "room_surface.h"

namespace ks_sampledata {

namespace fmt = ks_formats::grid_scan;

namespace {

uint32_t channelsOf(bool intensity, bool colour) {
    return (intensity ? fmt::kChannelIntensity : 0u) | (colour ? fmt::kChannelColour : 0u);
}

void checkSize(int32_t rows, int32_t columns) {
    if (rows < 0 || columns < 0)
        throw std::invalid_argument("grid size " + std::to_string(rows) + " x " +
                                    std::to_string(columns));
}

void writeHeader(detail::BinaryOutput& out, int32_t rows, int32_t columns, uint32_t channels) {
    unsigned char* header = out.append(fmt::kHeaderSize);
    std::memcpy(header, fmt::kMagic, sizeof fmt::kMagic);
    ks_common::store<uint32_t>(header + fmt::kOffsetVersion, fmt::kVersion);
    ks_common::store<int32_t>(header + fmt::kOffsetRows, rows);
    ks_common::store<int32_t>(header + fmt::kOffsetColumns, columns);
    ks_common::store<uint32_t>(header + fmt::kOffsetChannels, channels);
}

void writeFloats(detail::BinaryOutput& out, const float* values, size_t count) {
    unsigned char* p = out.append(4 * count);
    for (size_t i = 0; i < count; ++i) ks_common::store<float>(p + 4 * i, values[i]);
}

// Writes header and arrays; cellAt(index) gives a GridCell for every cell of each array in turn.
template <typename CellAt>
void writeGrid(const std::filesystem::path& path, int32_t rows, int32_t columns, uint32_t channels,
               CellAt cellAt) {
    const uint64_t cells = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
    detail::BinaryOutput out(path);
    writeHeader(out, rows, columns, channels);
    for (uint64_t i = 0; i < cells; ++i) {
        const GridCell cell = cellAt(i);
        const float xyz[3] = {cell.x, cell.y, cell.z};
        writeFloats(out, xyz, 3);
    }
    if (channels & fmt::kChannelIntensity)
        for (uint64_t i = 0; i < cells; ++i) {
            const float intensity = cellAt(i).intensity;
            writeFloats(out, &intensity, 1);
        }
    if (channels & fmt::kChannelColour) {
        for (uint64_t i = 0; i < cells; ++i) {
            const GridCell cell = cellAt(i);
            const float rgb[3] = {cell.red, cell.green, cell.blue};
            writeFloats(out, rgb, 3);
        }
    }
    out.finish();
}

}  // namespace

void GridScan::setCell(int32_t row, int32_t column, const GridCell& cell) {
    if (row < 0 || row >= rows || column < 0 || column >= columns)
        throw std::out_of_range("grid cell " + std::to_string(row) + ", " + std::to_string(column));
    const size_t index =
        static_cast<size_t>(row) * static_cast<size_t>(columns) + static_cast<size_t>(column);
    positions[3 * index] = cell.x;
    positions[3 * index + 1] = cell.y;
    positions[3 * index + 2] = cell.z;
    if (!intensities.empty()) intensities[index] = cell.intensity;
    if (!colours.empty()) {
        colours[3 * index] = cell.red;
        colours[3 * index + 1] = cell.green;
        colours[3 * index + 2] = cell.blue;
    }
}

GridScan makeGridScan(int32_t rows, int32_t columns, bool intensity, bool colour) {
    checkSize(rows, columns);
    GridScan grid;
    grid.rows = rows;
    grid.columns = columns;
    grid.positions.assign(3 * grid.cells(), 0.0f);
    if (intensity) grid.intensities.assign(grid.cells(), 0.0f);
    if (colour) grid.colours.assign(3 * grid.cells(), 0.0f);
    return grid;
}

void writeGridScan(const std::filesystem::path& path, const GridScan& grid) {
    checkSize(grid.rows, grid.columns);
    const uint64_t cells = grid.cells();
    if (grid.positions.size() != 3 * cells ||
        (!grid.intensities.empty() && grid.intensities.size() != cells) ||
        (!grid.colours.empty() && grid.colours.size() != 3 * cells))
        throw std::invalid_argument("grid arrays do not match the grid size");
    const uint32_t channels = channelsOf(!grid.intensities.empty(), !grid.colours.empty());
    writeGrid(path, grid.rows, grid.columns, channels, [&grid](uint64_t i) {
        GridCell cell;
        cell.x = grid.positions[3 * i];
        cell.y = grid.positions[3 * i + 1];
        cell.z = grid.positions[3 * i + 2];
        if (!grid.intensities.empty()) cell.intensity = grid.intensities[i];
        if (!grid.colours.empty()) {
            cell.red = grid.colours[3 * i];
            cell.green = grid.colours[3 * i + 1];
            cell.blue = grid.colours[3 * i + 2];
        }
        return cell;
    });
}

GridCell syntheticGridCell(const SyntheticGrid& settings, int32_t row, int32_t column) {
    const uint64_t index = static_cast<uint64_t>(row) * static_cast<uint64_t>(settings.columns) +
                           static_cast<uint64_t>(column);
    if (settings.dropoutEvery != 0 && (index + 1) % settings.dropoutEvery == 0) return {};

    // Columns turn the scanner, rows raise its beam.
    const detail::SurfaceHit hit = detail::roomSurface(
        static_cast<double>(column) / std::max(settings.columns, 1),
        static_cast<double>(row) / std::max(settings.rows, 1), settings.roomRadius);
    const double azimuth = hit.azimuth;
    const double elevation = hit.elevation;

    GridCell cell;
    cell.x = hit.x;
    cell.y = hit.y;
    cell.z = hit.z;
    cell.intensity = static_cast<float>(0.2 + 0.6 * std::exp(-hit.range / 15.0));
    cell.red = static_cast<float>(0.5 + 0.4 * std::sin(azimuth));
    cell.green = static_cast<float>(0.5 + 0.4 * std::cos(2.0 * elevation));
    cell.blue = static_cast<float>(0.5 + 0.4 * std::sin(azimuth + elevation));
    return cell;
}

GridScan syntheticGridScan(const SyntheticGrid& settings) {
    GridScan grid =
        makeGridScan(settings.rows, settings.columns, settings.intensity, settings.colour);
    for (int32_t row = 0; row < settings.rows; ++row)
        for (int32_t column = 0; column < settings.columns; ++column)
            grid.setCell(row, column, syntheticGridCell(settings, row, column));
    return grid;
}

void writeGridCells(const std::filesystem::path& path, int32_t rows, int32_t columns,
                    bool intensity, bool colour, const GridCellSource& cellAt) {
    checkSize(rows, columns);
    const auto width = static_cast<uint64_t>(std::max(columns, 1));
    writeGrid(path, rows, columns, channelsOf(intensity, colour), [&](uint64_t i) {
        return cellAt(static_cast<int32_t>(i / width), static_cast<int32_t>(i % width));
    });
}

void writeSyntheticGrid(const std::filesystem::path& path, const SyntheticGrid& settings) {
    writeGridCells(path, settings.rows, settings.columns, settings.intensity, settings.colour,
                   [&settings](int32_t row, int32_t column) {
                       return syntheticGridCell(settings, row, column);
                   });
}

}  // namespace ks_sampledata
