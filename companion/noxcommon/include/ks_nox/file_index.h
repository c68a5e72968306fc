#pragma once
// Reading a NOX file's index: its groups, clouds (with their null and filtered point counts and
// grid sizes), chunks and meta tags, which the viewer library's C interface does not tell. This
// and nox_format.h are the container code's public headers, for hosts that look into files the
// writer made; docs/nox-format.md, "Reading the index", describes them.
#include <filesystem>
#include <optional>
#include <string>

#include "ks_nox/nox_format.h"

namespace nox {

// The header and the index of file, each checked as the viewer checks them (magic, version,
// checksums, every size and reference), without reading a point. Empty, with the reason, when the
// file cannot be read or fails a check.
std::optional<FileIndex> readFileIndex(const std::filesystem::path& file, std::string& reason);

}  // namespace nox
