#pragma once

// The tools carry file names as UTF-8 text: what the command line gives them, what the console,
// the reports and the messages show. std::filesystem::path takes and gives UTF-8 through
// char8_t on every system, so on Windows a name outside the ANSI code page keeps every
// character (a path built from plain char text would go through that code page).
#include <filesystem>
#include <string>
#include <string_view>

namespace ks_tools {

inline std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace ks_tools
