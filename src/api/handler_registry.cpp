// The library's handler objects, and the ordered list of handlers that conversions use.
#include "api/handler_registry.h"

#include <vector>

#include "ks_common/text_encoding.h"

namespace ks_formats {
namespace {

// The one object of a handler class that other handlers derive from.
template <typename Handler>
struct Instance final : Handler {};

// Constructed when the library is loaded, before any exported function can run.
NOXHandler noxHandler;
Instance<_3DDHandler> handler3DD;
Instance<_RDBHandler> rdbHandler;
Instance<_RXPHandler> rxpHandler;
RSPHandler rspHandler;

std::vector<FileTypeHandler*>& registry() {
    static std::vector<FileTypeHandler*> handlers;
    return handlers;
}

}  // namespace

_3DDHandler& the3DDHandler() { return handler3DD; }
_RDBHandler& theRDBHandler() { return rdbHandler; }
RSPHandler& theRSPHandler() { return rspHandler; }
_RXPHandler& theRXPHandler() { return rxpHandler; }
NOXHandler& theNOXHandler() { return noxHandler; }

void registerHandler(FileTypeHandler* handler) { registry().push_back(handler); }

FileTypeHandler* findHandler(const WideString& extension) {
    for (FileTypeHandler* handler : registry())
        if (handler && handler->acceptsExtension(extension)) return handler;
    return nullptr;
}

unsigned handlerCount() { return static_cast<unsigned>(registry().size()); }

FileTypeHandler* handlerAt(unsigned index) {
    return index < registry().size() ? registry()[index] : nullptr;
}

FileTypeHandler* findHandlerForName(const WideChar* name) {
    const auto text = ks_common::wideView(name);
    if (text.size() < 3) return nullptr;
    return findHandler(WideString(text.substr(text.size() - 3)));
}

}  // namespace ks_formats
