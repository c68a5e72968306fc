#pragma once

// The view page's files, built from view/page/ at build time and compiled into the tool, so the
// page needs nothing from the internet or the disk when it runs.
#include <string_view>
#include <vector>

namespace noxconvert {

struct ViewAsset {
    const char* path;       // the address it is served at, e.g. "/view.js"
    const char* mediaType;  // Content-Type
    std::string_view content;
};

const std::vector<ViewAsset>& viewAssets();

}  // namespace noxconvert
