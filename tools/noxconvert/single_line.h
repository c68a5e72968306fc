#pragma once

#include <algorithm>
#include <string>

namespace noxconvert {

// The text with its line breaks as spaces, for messages that must stay one line each.
inline std::string singleLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

}  // namespace noxconvert
