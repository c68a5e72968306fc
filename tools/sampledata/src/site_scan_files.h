#pragma once

#include <cstdint>
#include <filesystem>

#include "site_scanner.h"

namespace ks_sampledata::detail {

struct RdbLayout {
    uint16_t formatVersion = 6;
    uint16_t recordVariant = 0;
};

struct ScanCounts {
    uint64_t points = 0;      // returns
    uint64_t nullPoints = 0;  // rays without a return that the files still hold a place for
};

// A line scan as a point stream and, with the same points in the same order, as the scan's two
// database files in rdbFolder (which must exist). Rays without a return leave no record; the
// last return of each line ends a frame.
ScanCounts writeStreamScanFiles(const SiteScanner& scanner, const std::filesystem::path& stream,
                                const std::filesystem::path& rdbFolder, RdbLayout layout);

// A grid scan (rows are beam steps, columns lines) and its database files, cell by cell in
// row-major order; a cell without a return is (0, 0, 0) in the grid and an invalid record in
// the database.
ScanCounts writeGridScanFiles(const SiteScanner& scanner, const std::filesystem::path& grid,
                              const std::filesystem::path& rdbFolder, RdbLayout layout);

}  // namespace ks_sampledata::detail
