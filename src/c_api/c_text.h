#pragma once
// Text across the C boundary: UTF-8 checked strictly on the way in, results copied into the
// caller's buffers on the way out.
#include <cstdint>
#include <string>
#include <string_view>

#include "ks_formats/types.h"

namespace ks_formats::c_api {

// True when text is well-formed UTF-8; otherwise why says where it is not (overlong forms,
// surrogates and values above U+10FFFF are not UTF-8).
bool isValidUtf8(const char* text, std::string& why);

// Copies text and a terminating zero into buffer when capacity holds both; answers the units
// needed. A buffer too small is left as it is and the shortfall noted for ksf_last_error.
int32_t copyText(std::string_view text, char* buffer, int32_t capacity);
int32_t copyText(std::basic_string_view<WideChar> text, uint16_t* buffer, int32_t capacity);

}  // namespace ks_formats::c_api
