// The folder of the 32-bit extension: set by the host, or derived from where the companion
// formats library is loaded.
#include "ks_common/fixed_text.h"
#include "ks_common/library_file.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"
#include "platform/dynamic_library.h"
#include "platform/paths.h"

namespace ks_formats {
namespace {

constexpr char kCompanionLibrary[] = KS_LIBRARY_FILE("NoxFormats");
constexpr char kExtensionSubfolder[] = "noxformats32/";
constexpr size_t kMaxUnits = kPathBufferUnits - 1;

}  // namespace

void ImportBatch::set32BitNoxFormatsFolder(const WideChar* folder) {
    // The stored folder always ends in "/"; a folder that would not fit with it is ignored.
    if (!folder) return;
    const platform::WideView text = ks_common::wideView(folder);
    const bool endsInSeparator = !text.empty() && text.back() == platform::kSeparator;
    if (text.size() > kMaxUnits || (text.size() == kMaxUnits && !endsInSeparator)) return;
    WideString stored(text);
    if (!endsInSeparator) stored.push_back(platform::kSeparator);
    ks_common::copyToFixed(formatsFolder32, stored.c_str());
}

#if defined(_WIN32)
// When no folder is set, it is derived once from the companion library, when that is loaded:
// the drive root of NoxFormats.dll (its first three characters, C:\ for example) followed by
// "Program Files (x86)\Marrowby\Kestrion32Ext\". A path shorter than four characters, or one
// the system could not read whole, derives nothing.
const WideChar* ImportBatch::get32BitNoxFormatsFolder() {
    if (formatsFolder32[0] == 0) {
        const std::string library = platform::loadedLibraryPath(kCompanionLibrary);
        const WideString path = ks_common::decodeLenientUtf8(library);
        if (path.size() >= 4) {
            const WideString folder =
                path.substr(0, 3) + KS_WIDE("Program Files (x86)\\Marrowby\\Kestrion32Ext\\");
            if (folder.size() <= kMaxUnits) ks_common::copyToFixed(formatsFolder32, folder.c_str());
        }
    }
    return formatsFolder32[0] == 0 ? nullptr : formatsFolder32;
}
#else
// When no folder is set, it is derived once from the companion library, when that is loaded:
// the folder holding libNoxFormats.so followed by "noxformats32/", for example
// /opt/nox/lib/libNoxFormats.so gives /opt/nox/lib/noxformats32/. A library known only by a
// relative path, or a folder that would not fit in 511 units, derives nothing.
const WideChar* ImportBatch::get32BitNoxFormatsFolder() {
    if (formatsFolder32[0] == 0) {
        const std::string library = platform::loadedLibraryPath(kCompanionLibrary);
        if (!library.empty() && library.front() == '/') {
            const WideString folder =
                platform::joinPath(platform::parentFolder(ks_common::decodeLenientUtf8(library)),
                                   ks_common::asciiToWide(kExtensionSubfolder));
            if (folder.size() <= kMaxUnits) ks_common::copyToFixed(formatsFolder32, folder.c_str());
        }
    }
    return formatsFolder32[0] == 0 ? nullptr : formatsFolder32;
}
#endif

}  // namespace ks_formats
