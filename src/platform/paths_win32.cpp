// Path helpers on Windows: the system's own shell path rules (PathFindExtensionW,
// PathFindFileNameW, PathRemoveFileSpecW), applied to a terminated copy of the view.
#include <shlwapi.h>
#include <windows.h>

#include <string>

#include "platform/paths.h"

namespace ks_formats::platform {
namespace {

std::wstring terminated(WideView path) { return std::wstring(path.begin(), path.end()); }

}  // namespace

size_t findExtension(WideView path) {
    const std::wstring copy = terminated(path);
    const wchar_t* dot = PathFindExtensionW(copy.c_str());
    return *dot == L'.' ? static_cast<size_t>(dot - copy.c_str()) : WideView::npos;
}

WideView lastComponent(WideView path) {
    const std::wstring copy = terminated(path);
    return path.substr(static_cast<size_t>(PathFindFileNameW(copy.c_str()) - copy.c_str()));
}

WideView stem(WideView path) {
    const WideView name = lastComponent(path);
    const size_t dot = findExtension(name);
    return dot == WideView::npos ? name : name.substr(0, dot);
}

WideString parentFolder(WideView path) {
    std::wstring copy = terminated(path);
    PathRemoveFileSpecW(copy.data());
    copy.resize(wcslen(copy.c_str()));
    return WideString(copy.begin(), copy.end());
}

WideString joinPath(WideView folder, WideView name) {
    WideString result(folder);
    if (result.empty() || result.back() != kSeparator) result.push_back(kSeparator);
    result.append(name);
    return result;
}

}  // namespace ks_formats::platform
