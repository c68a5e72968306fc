#pragma once
// The library initialised once for a whole test program, as a host does it: Initialize
// registers the handlers again on every call, so tests that share a process call this instead.
#include "ks_formats/api.h"

namespace ks_test {

// Calls Initialize until it first succeeds; answers its result.
inline ks_formats::Result initializeOnce() {
    static bool initialized = false;
    if (!initialized) initialized = ks_formats::Initialize() == ks_formats::ResultSuccess;
    return initialized ? ks_formats::ResultSuccess : ks_formats::ResultFailed;
}

}  // namespace ks_test
