#pragma once
// Text put into XML or HTML: the five characters with a meaning there written as entities, so a
// name or a message shows as itself and never as markup.
#include <string>
#include <string_view>

namespace ks_tools {

inline std::string escapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace ks_tools
