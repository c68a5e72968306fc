#include "handlers/handler_rxp.h"

using namespace ks_formats;

_RXPHandler::_RXPHandler() = default;

bool _RXPHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, u"rxp", u"RXP");
}

// Stream reading arrives with the scanifc binding; until then no RXP file is read.
bool _RXPHandler::import(ImportBatch*, ScanInfo*) { return false; }
