#pragma once
// The component layer in a test's scope. Header only: it drives the library's internal component
// layer, which the program links (the internal archive), not the support library.
#include <memory>
#include <string>

#include "platform/component.h"

namespace ks_test {

// CoInitialize for the scope of a test on the calling thread.
struct ComScope {
    ComScope() { ks_formats::com::CoInitialize(nullptr); }
    ~ComScope() { ks_formats::com::CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

// An interface pointer that releases its reference when it goes.
struct ReleaseObject {
    void operator()(ks_formats::com::IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ReleaseObject>;

// Registers a library for a class id for the scope of a test, then restores the earlier one.
class ScopedRegistration {
public:
    ScopedRegistration(const ks_formats::com::Guid& clsid, const std::string& library)
        : clsid_(clsid), previous_(ks_formats::com::registerComponentLibrary(clsid, library)) {}
    ~ScopedRegistration() { ks_formats::com::registerComponentLibrary(clsid_, previous_); }
    ScopedRegistration(const ScopedRegistration&) = delete;
    ScopedRegistration& operator=(const ScopedRegistration&) = delete;

private:
    ks_formats::com::Guid clsid_;
    std::string previous_;
};

}  // namespace ks_test
