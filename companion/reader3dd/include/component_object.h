#pragma once

// Help for component libraries: the IUnknown part of an object that answers one interface, and
// the creation an exported factory performs.

#include <atomic>
#include <new>

#include "component_types.h"

namespace ks_formats::com {

// Reference counting and QueryInterface for an object answering IUnknown and kIid. Created with
// one reference; the last Release deletes it.
template <typename Interface, Guid kIid>
class ComObject : public Interface {
public:
    HRESULT KS_COM_CALL QueryInterface(const Guid& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != kIid) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG KS_COM_CALL AddRef() override { return ++references_; }
    ULONG KS_COM_CALL Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> references_{1};
};

// Makes an Object and answers it through iid in *out, as a factory does.
template <typename Object>
HRESULT createComObject(const Guid& iid, void** out) {
    auto* object = new (std::nothrow) Object;
    if (!object) return E_OUTOFMEMORY;
    const HRESULT result = object->QueryInterface(iid, out);
    object->Release();
    return result;
}

}  // namespace ks_formats::com
