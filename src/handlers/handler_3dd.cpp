#include "handlers/handler_3dd.h"

using namespace ks_formats;

_3DDHandler::_3DDHandler()
    : FileTypeHandler(u"Riegl RSP/RDB/RXP/3DD importer (module)", u"3dd"),
      scanMatrix_(Matrix4d::identity()) {}

_3DDHandler::~_3DDHandler() = default;

bool _3DDHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, u"3dd", u"3DD");
}

bool _3DDHandler::setScanMatrix(const ScanInfo* scan) {
    if (scan) scanMatrix_ = *scan->getMatrix();
    return true;
}

// Grid reading arrives with the reader component; until then no 3DD file is read.
bool _3DDHandler::import(ImportBatch*, ScanInfo*) { return false; }
