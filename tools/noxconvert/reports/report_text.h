#pragma once

// Text the tool's messages and reports are made of.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>

namespace noxconvert {

// The text with its line breaks as spaces, for messages that must stay one line each.
inline std::string singleLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

// Indented JSON with a final line break. Names and tags come from files and may hold bytes
// that are not UTF-8: those become U+FFFD rather than ending the command with an exception.
inline std::string jsonText(const nlohmann::ordered_json& value) {
    return value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace noxconvert
