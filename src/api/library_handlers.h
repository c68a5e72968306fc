#pragma once

#include "handlers/rsp_handler.h"
#include "nox/nox_handler.h"

namespace ks_formats {

// The handler objects of the library, one of each class, alive for the whole process.
_3DDHandler& the3DDHandler();
_RDBHandler& theRDBHandler();
RSPHandler& theRSPHandler();
_RXPHandler& theRXPHandler();
NOXHandler& theNOXHandler();

}  // namespace ks_formats
