// Cutting narrow text to a byte budget without splitting a character.
#include "ks_common/narrow_text.h"

namespace ks_common {
namespace {

bool isHighSurrogate(WideChar unit) {
    const auto value = static_cast<char16_t>(unit);
    return value >= 0xD800 && value <= 0xDBFF;
}

}  // namespace

std::string encodeNarrowFitting(std::basic_string_view<WideChar> text, size_t maxBytes) {
    std::string whole = encodeNarrow(text);
    if (whole.size() <= maxBytes) return whole;
    // Narrow forms grow with their text, so the longest fitting prefix is found by halving.
    size_t fits = 0;
    size_t tooLong = text.size();
    while (tooLong - fits > 1) {
        const size_t middle = fits + (tooLong - fits) / 2;
        if (encodeNarrow(text.substr(0, middle)).size() <= maxBytes)
            fits = middle;
        else
            tooLong = middle;
    }
    if (fits > 0 && isHighSurrogate(text[fits - 1])) --fits;
    return encodeNarrow(text.substr(0, fits));
}

}  // namespace ks_common
