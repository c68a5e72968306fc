#pragma once

// A NOX file as LAS 1.4 (point data record format 7: position, intensity, colour, class and the
// cloud as point source ID), in world coordinates, for the tools of the field that read LAS. The
// points are streamed from the viewer into the output a block at a time, so memory does not grow
// with the file; the header is written again at the end with the exact counts and bounds.
#include <cstdint>
#include <string>

#include "ks_hostkit/nox_scene.h"
#include "ks_hostkit/refusal.h"

namespace hostkit {

// The coordinates' grid: integers times scale plus offset, per axis.
struct LasGrid {
    double scale[3] = {0.001, 0.001, 0.001};
    double offset[3] = {0, 0, 0};
};

// The grid for a file: a tenth of its finest quantisation step (a power of ten, so the numbers
// read back as the decimals they are), coarser where the extent would not fit 32-bit integers,
// with the offset in whole metres at the centre of the clouds' world box. Refused when the index
// has no usable bounds of a cloud that has points.
Result<LasGrid> lasGridFor(const nox::FileIndex& index);

// Writes the whole scene to path (replaced only when complete). The clouds, in file order, are
// point source IDs 0, 1, ...; an extended record (user "NOXFormats", record 1) lists each cloud's
// name, label, scan and matrix as JSON. Answers the points written.
Result<uint64_t> exportLas(const NoxScene& scene, const std::string& path,
                           const ExportProgress& progress = {});

}  // namespace hostkit
