#include "handlers/handler_rdb.h"

#include "platform/component.h"

using namespace ks_formats;

// The scanner handlers initialise the component layer on the thread that loads the library.
_RDBHandler::_RDBHandler() { ks_formats::com::CoInitialize(nullptr); }

bool _RDBHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, u"rdb", u"RDB");
}

// Database reading arrives with the data-file reader; until then no RDB scan is read.
bool _RDBHandler::import(ImportBatch*, ScanInfo*) { return false; }
