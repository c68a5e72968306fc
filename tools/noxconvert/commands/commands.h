#pragma once

// The sub-commands of noxconvert, one source file each; each answers an exit code
// (exit_codes.h).
#include <string>

namespace noxconvert {

struct ConvertOptions;

int runConvert(const ConvertOptions& options, bool quiet);
int runInfo(const std::string& noxPath, bool json);
int runExport(const std::string& noxPath, const std::string& outputPath);
// width or height 0: not given (1024 wide, or from the other side and the cloud's aspect).
int runPreview(const std::string& noxPath, const std::string& pngPath, int width, int height);
inline constexpr int kLargestPreviewSide = 16384;
int runFormats();

struct ViewOptions {
    std::string noxPath;
    std::string host = "127.0.0.1";
    int port = 8470;
    bool openBrowser = false;
};
int runView(const ViewOptions& options);

}  // namespace noxconvert
