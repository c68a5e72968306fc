#pragma once

// The opening and checking every NOX-reading command shares, with its messages, and the
// extension of what it writes.
#include <cstdint>
#include <optional>
#include <string>

#include "ks_hostkit/nox_scene.h"

namespace noxconvert {

// The scene, or empty after telling the user why the file cannot be opened.
std::optional<hostkit::NoxScene> openScene(const std::string& noxPath);

// True when every point arrived; otherwise tells the user that the file is damaged and, when
// notWritten is given, that that file was not written.
bool allPointsRead(const std::string& noxPath, uint64_t delivered, uint64_t expected,
                   const std::string& notWritten = {});

// True when path ends in extension (given in lower case, with its dot), in any case.
bool hasExtension(const std::string& path, const std::string& extension);

}  // namespace noxconvert
