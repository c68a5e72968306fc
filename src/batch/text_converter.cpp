#include "batch/text_converter.h"

#include "ks_common/text_encoding.h"

namespace ks_formats {

TextConverter::TextConverter(const WideChar* text) : wide_(ks_common::wideView(text)) {}

TextConverter::TextConverter(const char* text) : wide_(ks_common::fromUtf8(text)) {}

const std::string& TextConverter::narrow() const {
    if (!narrow_) narrow_ = ks_common::encodeUtf8(wide_);
    return *narrow_;
}

}  // namespace ks_formats
