#pragma once
// ASCII text to and from the 16-bit strings of the libraries' C interfaces.
#include <string>
#include <string_view>

namespace ks_test {

inline ks_formats::WideString wide(std::string_view ascii) {
    return ks_formats::WideString(ascii.begin(), ascii.end());
}

// Anything beyond ASCII becomes '?'; a null pointer gives an empty string.
inline std::string narrow(const ks_formats::WideChar* text) {
    std::string out;
    for (; text && *text; ++text) out.push_back(*text < 0x80 ? char(*text) : '?');
    return out;
}

}  // namespace ks_test
