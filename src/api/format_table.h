#pragma once

#include "ks_formats/format_capabilities.h"

namespace ks_formats {

// Fills a table with every format of the family and their parameters.
void fillFormatTable(FormatCapabilitiesManager& table);

// The library-wide capability table.
const FormatCapabilitiesManager& formatRegistry();

}  // namespace ks_formats
