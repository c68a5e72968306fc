#include "nox/nox_handler.h"

namespace ks_formats {

NOXHandler::NOXHandler() : FileTypeHandler(u"NOX importer", u"nox") {}

bool NOXHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, u"nox", u"NOX");
}

// Re-import arrives with the viewer binding; until then no NOX file is read.
bool NOXHandler::import(ImportBatch*, ScanInfo*) { return false; }

}  // namespace ks_formats
