#include "batch/text_converter.h"

#include "platform/text_encoding.h"

namespace ks_formats {

TextConverter::TextConverter(const WideChar* text) : wide_(platform::wideView(text)) {}

TextConverter::TextConverter(const char* text) : wide_(platform::fromUtf8(text)) {}

const std::string& TextConverter::narrow() const {
    if (!narrow_) narrow_ = platform::encodeUtf8(wide_);
    return *narrow_;
}

}  // namespace ks_formats
