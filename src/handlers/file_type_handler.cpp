#include "handlers/file_type_handler.h"

namespace ks_formats {

FileTypeHandler::FileTypeHandler(const WideChar* description, const WideChar* extension)
    : description_(description ? description : KS_WIDE("")),
      extension_(extension ? extension : KS_WIDE("")) {}

bool FileTypeHandler::import(ImportBatch*, ScanInfo*) { return false; }

bool FileTypeHandler::createBatch(ImportBatch*, const WideString&) { return false; }

bool extensionIsOneOf(const WideString& extension, const WideChar* lower, const WideChar* upper) {
    return extension == lower || extension == upper;
}

}  // namespace ks_formats
