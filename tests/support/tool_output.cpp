#include "support/tool_output.h"

#include <sstream>

namespace ks_test {
namespace {

std::string trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

std::vector<std::string> writtenFiles(const std::string& out) {
    std::vector<std::string> files;
    std::istringstream lines(out);
    const std::string prefix = "written: ";
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0) files.push_back(trim(line.substr(prefix.size())));
    return files;
}

std::optional<unsigned long long> InfoSection::number(const std::string& key) const {
    const auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    try {
        return std::stoull(found->second);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Bounds> InfoSection::bounds() const {
    const auto found = values.find("bounds");
    if (found == values.end()) return std::nullopt;
    std::istringstream words(found->second);
    Bounds b;
    for (int axis = 0; axis < 3; ++axis) {
        std::string name;
        if (!(words >> name >> b.min[axis] >> b.max[axis])) return std::nullopt;
    }
    return b;
}

Info parseInfo(const std::string& out) {
    Info info;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const bool indented = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        const std::string text = trim(line);
        const size_t colon = text.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = text.substr(0, colon);
        const std::string value = trim(text.substr(colon + 1));
        if (!indented && key.rfind("cloud ", 0) == 0) {
            info.clouds.emplace_back();
            info.clouds.back().values["name"] = value;
            continue;
        }
        InfoSection& section = indented && !info.clouds.empty() ? info.clouds.back() : info.file;
        section.values.emplace(key, value);
    }
    return info;
}

}  // namespace ks_test
