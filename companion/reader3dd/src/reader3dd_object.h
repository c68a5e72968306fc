#pragma once
// The reader object, as the library's entry points (component_factory.cpp, or the COM server's
// com_server_win32.cpp) make it.
#include <atomic>

#include "component_types.h"

namespace ks_formats::reader3dd {

// Makes a reader and answers it through iid in *out (null on failure).
com::HRESULT createReader(const com::Guid& iid, void** out);

// Readers alive in this process: a COM server may be unloaded only when none is left.
std::atomic<long>& liveObjects();

}  // namespace ks_formats::reader3dd
