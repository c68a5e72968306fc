#include "handlers/handler_rdb.h"

using namespace ks_formats;

_RDBHandler::_RDBHandler() = default;

bool _RDBHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, u"rdb", u"RDB");
}

// Database reading arrives with the data-file reader; until then no RDB scan is read.
bool _RDBHandler::import(ImportBatch*, ScanInfo*) { return false; }
