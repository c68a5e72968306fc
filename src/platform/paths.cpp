#include "platform/paths.h"

namespace ks_formats::platform {

size_t findExtension(WideView path) {
    const size_t slash = path.rfind(kSeparator);
    const size_t dot = path.rfind(KS_WIDE('.'));
    if (dot == WideView::npos) return WideView::npos;
    if (slash != WideView::npos && dot < slash) return WideView::npos;
    return dot;
}

WideView lastComponent(WideView path) {
    const size_t slash = path.rfind(kSeparator);
    return slash == WideView::npos ? path : path.substr(slash + 1);
}

WideView stem(WideView path) {
    const WideView name = lastComponent(path);
    const size_t dot = name.rfind(KS_WIDE('.'));
    return dot == WideView::npos ? name : name.substr(0, dot);
}

WideString parentFolder(WideView path) {
    const size_t slash = path.rfind(kSeparator);
    if (slash == WideView::npos) return {};
    if (slash == 0) return WideString(1, kSeparator);
    return WideString(path.substr(0, slash));
}

WideString joinPath(WideView folder, WideView name) {
    WideString result(folder);
    if (result.empty() || result.back() != kSeparator) result.push_back(kSeparator);
    result.append(name);
    return result;
}

}  // namespace ks_formats::platform
