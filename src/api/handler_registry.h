#pragma once

#include "handlers/file_type_handler.h"
#include "handlers/rsp_handler.h"
#include "nox/nox_handler.h"

namespace ks_formats {

// The handler objects of the library, one of each class, alive for the whole process.
_3DDHandler& the3DDHandler();
_RDBHandler& theRDBHandler();
RSPHandler& theRSPHandler();
_RXPHandler& theRXPHandler();
NOXHandler& theNOXHandler();

// The library-wide ordered list of handlers that conversions use. It does not own them.
void registerHandler(FileTypeHandler* handler);
// The first registered handler that accepts the extension, or null.
FileTypeHandler* findHandler(const WideString& extension);
unsigned handlerCount();
FileTypeHandler* handlerAt(unsigned index);

// The handler for a file name's last three characters (no dot search, no case folding);
// null for a name of fewer than three characters.
FileTypeHandler* findHandlerForName(const WideChar* name);

}  // namespace ks_formats
