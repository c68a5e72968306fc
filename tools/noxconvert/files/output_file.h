#pragma once

// noxconvert's exports are written whole or not at all through the host kit's output file.
#include "ks_hostkit/output_file.h"

namespace noxconvert {

using hostkit::OutputFile;

}  // namespace noxconvert
