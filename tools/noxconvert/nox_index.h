#pragma once

// What the viewer library does not tell: meta tags, groups, null and filtered point counts and
// grid sizes, read from the file's own index (docs/nox-format.md) with the shared format code.
#include <optional>
#include <string>

#include "nox_format.h"

namespace noxconvert {

// Empty (with a reason) when the header or the index cannot be read or fails its checks.
std::optional<nox::FileIndex> readNoxIndex(const std::string& path, std::string& reason);

}  // namespace noxconvert
