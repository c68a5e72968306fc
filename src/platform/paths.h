#pragma once

#include <string_view>

#include "ks_formats/types.h"

namespace ks_formats::platform {

// Path helpers on UTF-16 text. On Windows a backslash separates components and the system's shell
// path rules apply (drive roots stay whole); elsewhere "/" is the only separator and a backslash
// is an ordinary character.
using WideView = std::basic_string_view<WideChar>;
#if defined(_WIN32)
inline constexpr WideChar kSeparator = KS_WIDE('\\');
#else
inline constexpr WideChar kSeparator = KS_WIDE('/');
#endif

// Position of the dot that starts the extension of the last component, or npos when it has none.
size_t findExtension(WideView path);
// The last component (the whole path when it has no separator).
WideView lastComponent(WideView path);
// The last component without its extension.
WideView stem(WideView path);
// The parent folder: the path up to its last separator ("/" for a path directly below the
// root, empty for a path without any separator).
WideString parentFolder(WideView path);
// folder + "/" + name, without doubling a separator that folder already ends with.
WideString joinPath(WideView folder, WideView name);

}  // namespace ks_formats::platform
