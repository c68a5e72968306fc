// The narrow encoding of this system is UTF-8.
#include "ks_common/narrow_text.h"
#include "ks_common/text_encoding.h"

namespace ks_common {

WideString decodeNarrow(std::string_view text) { return decodeLenientUtf8(text); }

std::string encodeNarrow(std::basic_string_view<WideChar> text) { return encodeUtf8(text); }

}  // namespace ks_common
