#pragma once

// The library's UTF-16 text types, for the shared code of the library, its companions and tools.
#include "ks_formats/types.h"

namespace ks_common {

using ks_formats::WideChar;
using ks_formats::WideString;

}  // namespace ks_common
