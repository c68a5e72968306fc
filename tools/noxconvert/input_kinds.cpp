#include "input_kinds.h"

#include <algorithm>
#include <cctype>

#include "ks_formats/ks_formats.h"

namespace noxconvert {

std::vector<InputKind> convertedInputKinds() {
    std::vector<InputKind> kinds;
    for (int i = 0; i < ks_formats::NumSupportedFormats(); ++i) {
        // The handlers share one description; the capability table names each format.
        char name[1024] = "", extension[4] = "";
        if (!ks_formats::GetFormatInfo(ks_formats::GetFormatID(i), name, extension, nullptr,
                                       nullptr))
            continue;
        const bool known = std::any_of(kinds.begin(), kinds.end(), [&](const InputKind& kind) {
            return kind.extension == extension;
        });
        if (!known && extension[0]) kinds.push_back({extension, name});
    }
    return kinds;
}

bool isConvertedInput(const std::string& path, const std::vector<InputKind>& kinds) {
    if (path.size() < 3) return false;
    const std::string last = path.substr(path.size() - 3);
    std::string lower = last, upper = last;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::any_of(kinds.begin(), kinds.end(), [&](const InputKind& kind) {
        return (last == lower || last == upper) && kind.extension == lower;
    });
}

}  // namespace noxconvert
