// The factory the component layer looks up in lib3ddreader.so (component_types.h).
#include "reader3dd_interface.h"
#include "reader3dd_object.h"

using namespace ks_formats::com;

extern "C" __attribute__((visibility("default"))) int32_t ksCreateComponent(const Guid* clsid,
                                                                            const Guid* iid,
                                                                            void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!clsid || !iid) return E_POINTER;
    if (*clsid != CLSID_Reader3DD) return CLASS_E_CLASSNOTAVAILABLE;
    return ks_formats::reader3dd::createReader(*iid, out);
}
