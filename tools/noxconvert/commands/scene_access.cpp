#include "commands/scene_access.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>

namespace noxconvert {

std::optional<hostkit::NoxScene> openScene(const std::string& noxPath) {
    hostkit::Result<hostkit::NoxScene> scene = hostkit::NoxScene::open(noxPath);
    if (!scene) {
        std::fprintf(stderr, "noxconvert: cannot open %s: %s\n", noxPath.c_str(),
                     scene.refusal().reason.c_str());
        return std::nullopt;
    }
    return std::move(*scene);
}

bool allPointsRead(const std::string& noxPath, uint64_t delivered, uint64_t expected,
                   const std::string& notWritten) {
    if (delivered == expected) return true;
    std::fprintf(stderr,
                 "noxconvert: %s is damaged: only %" PRIu64 " of %" PRIu64
                 " points could be read%s%s%s\n",
                 noxPath.c_str(), delivered, expected, notWritten.empty() ? "" : "; ",
                 notWritten.c_str(), notWritten.empty() ? "" : " was not written");
    return false;
}

bool hasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    const size_t start = path.size() - extension.size();
    for (size_t i = 0; i < extension.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[start + i])) != extension[i]) return false;
    return true;
}

}  // namespace noxconvert
