// The narrow encoding on Windows: the ANSI code page of the process.
#include <windows.h>

#include "ks_common/narrow_text.h"

namespace ks_common {

WideString decodeNarrow(std::string_view text) {
    if (text.empty()) return {};
    const int bytes = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
    if (units <= 0) return {};
    WideString wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, wide.data(), units);
    return wide;
}

std::string encodeNarrow(std::basic_string_view<WideChar> text) {
    if (text.empty()) return {};
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), units, nullptr,
                                          0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), units, narrow.data(), bytes,
                        nullptr, nullptr);
    return narrow;
}

}  // namespace ks_common
