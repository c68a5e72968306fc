#pragma once

#include <string>
#include <string_view>

#include "ks_common/wide_text.h"

namespace ks_common {

// Narrow text as hosts hand it to the library and get it back: the system's narrow encoding.
// On Windows that is the ANSI code page; a character it cannot hold becomes "?" (never a
// look-alike: best-fit mapping is off, so "C:\Ω.nox" does not quietly turn into another file's
// name). Elsewhere it is UTF-8, read leniently (see decodeLenientUtf8).
WideString decodeNarrow(std::string_view text);
std::string encodeNarrow(std::basic_string_view<WideChar> text);

inline WideString fromNarrow(const char* text) { return text ? decodeNarrow(text) : WideString(); }

// The narrow form of the longest run of whole characters of text (a surrogate pair counts as
// one) whose narrow form has at most maxBytes bytes.
std::string encodeNarrowFitting(std::basic_string_view<WideChar> text, size_t maxBytes);

}  // namespace ks_common
