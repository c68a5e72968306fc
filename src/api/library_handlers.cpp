#include "api/library_handlers.h"

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

}  // namespace

_3DDHandler& the3DDHandler() { return handler3DD; }
_RDBHandler& theRDBHandler() { return rdbHandler; }
RSPHandler& theRSPHandler() { return rspHandler; }
_RXPHandler& theRXPHandler() { return rxpHandler; }
NOXHandler& theNOXHandler() { return noxHandler; }

}  // namespace ks_formats
