#pragma once

#include <optional>
#include <string>

#include "ks_formats/types.h"

namespace ks_formats {

// Holds a text taken from a caller or a file: a wide (UTF-16) copy, and on demand a cached
// narrow (UTF-8) copy for file-system calls and narrow results. Narrow input is decoded
// leniently, so any byte sequence gives a text.
class TextConverter {
public:
    TextConverter() = default;
    explicit TextConverter(const WideChar* text);
    explicit TextConverter(const char* text);
    explicit TextConverter(WideString text) : wide_(std::move(text)) {}

    const WideString& wide() const { return wide_; }
    const WideChar* wideText() const { return wide_.c_str(); }
    const std::string& narrow() const;
    const char* narrowText() const { return narrow().c_str(); }

private:
    WideString wide_;
    mutable std::optional<std::string> narrow_;
};

}  // namespace ks_formats
