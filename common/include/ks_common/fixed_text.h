#pragma once

#include <cstddef>

#include "ks_common/wide_text.h"

namespace ks_common {

// Copies text into a fixed buffer of N units, always terminated. Text longer than N - 1 units is
// cut there, one unit earlier when the cut would split a surrogate pair. Null gives empty text.
template <size_t N>
void copyToFixed(WideChar (&buffer)[N], const WideChar* text) {
    size_t length = 0;
    if (text) {
        while (length < N - 1 && text[length] != 0) ++length;
        if (length == N - 1 && text[length] != 0) {
            const auto last = static_cast<char16_t>(text[length - 1]);
            if (last >= 0xD800 && last <= 0xDBFF) --length;
        }
        for (size_t i = 0; i < length; ++i) buffer[i] = text[i];
    }
    buffer[length] = 0;
}

}  // namespace ks_common
