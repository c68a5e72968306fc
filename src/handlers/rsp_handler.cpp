#include "handlers/rsp_handler.h"

using namespace ks_formats;

RSPHandler::RSPHandler() = default;

bool RSPHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, u"rsp", u"RSP");
}

bool RSPHandler::import(ImportBatch* batch, ScanInfo* scan) {
    return FileTypeHandler::import(batch, scan);
}

// Project reading arrives with the project-file reader; until then no batch is created.
bool RSPHandler::createBatch(ImportBatch* batch, const WideString& path) {
    return FileTypeHandler::createBatch(batch, path);
}
