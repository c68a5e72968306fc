#pragma once

#include <string>
#include <string_view>

#include "ks_common/wide_text.h"

namespace ks_common {

// Decodes narrow text leniently: well-formed UTF-8 sequences become UTF-16 (with surrogate pairs
// above U+FFFF), bytes 0x80..0x9F map through Windows-1252, and any other byte that starts no
// valid sequence stands for itself as a Latin-1 character. Never fails.
WideString decodeLenientUtf8(std::string_view text);

// Encodes UTF-16 as UTF-8, the system encoding. A lone surrogate becomes "?".
std::string encodeUtf8(std::basic_string_view<WideChar> text);

// Null-safe helpers for zero-terminated wide text.
std::basic_string_view<WideChar> wideView(const WideChar* text);
inline std::string toUtf8(const WideChar* text) { return encodeUtf8(wideView(text)); }
inline WideString fromUtf8(const char* text) {
    return text ? decodeLenientUtf8(text) : WideString();
}

// Plain ASCII literal to wide text, for fixed names and tags.
WideString asciiToWide(std::string_view ascii);

}  // namespace ks_common
