#pragma once

// A counter component served by a test library, for the component layer's tests.

#include "component_types.h"

namespace ks_test {

using namespace ks_formats::com;

inline constexpr Guid CLSID_TestCounter = makeGuid("5B0C1F6E-2D7A-4E11-9C3B-6A8F00D1E2A7");
inline constexpr Guid IID_ITestCounter = makeGuid("A1D4E9C2-77B0-4F5D-8E61-0C9B3F2A4D18");

class ITestCounter : public IUnknown {
public:
    virtual int32_t Increment() = 0;

protected:
    ~ITestCounter() = default;
};

// Exported by the test library: the number of counter objects alive.
using LiveObjectsFunction = int32_t (*)();
inline constexpr const char* kLiveObjectsSymbol = "ksTestComponentLiveObjects";

}  // namespace ks_test
