#include "scene_access.h"

#include <cinttypes>
#include <cstdio>

namespace noxconvert {

std::optional<NoxScene> openScene(const std::string& noxPath) {
    std::string reason;
    std::optional<NoxScene> scene = NoxScene::open(noxPath, reason);
    if (!scene)
        std::fprintf(stderr, "noxconvert: cannot open %s: %s\n", noxPath.c_str(), reason.c_str());
    return scene;
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

}  // namespace noxconvert
