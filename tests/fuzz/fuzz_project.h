#pragma once
// The scratch folder the conversion fuzz targets work in: a one-position project whose scan
// lies in the point database, beside which the stream and grid targets put their own files.
#include <filesystem>

namespace ks_fuzz {

// Creates the folder and the valid project around the file under test; answers its path.
std::filesystem::path makeScratchProject();

// Writes one valid seed per input kind into `folder`/<kind>/.
void writeSeeds(const std::filesystem::path& folder);

}  // namespace ks_fuzz
