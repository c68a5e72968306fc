#include "platform/component.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/dynamic_library.h"
#include "reader3dd_interface.h"

namespace ks_formats::com {

namespace {

thread_local int initialisations = 0;

struct GuidLess {
    bool operator()(const Guid& a, const Guid& b) const {
        return std::tie(a.data1, a.data2, a.data3) < std::tie(b.data1, b.data2, b.data3) ||
               (std::tie(a.data1, a.data2, a.data3) == std::tie(b.data1, b.data2, b.data3) &&
                std::memcmp(a.data4, b.data4, sizeof a.data4) < 0);
    }
};

// Which library serves which class, and the factories of the libraries loaded so far. A loaded
// component library stays loaded for the rest of the process: objects it made may outlive any
// bookkeeping of ours, and unloading code under a live object would be fatal.
struct Registry {
    std::mutex mutex;
    std::map<Guid, std::string, GuidLess> libraries{{CLSID_Reader3DD, kReader3DDLibrary}};
    std::map<std::string, CreateComponentFunction> factories;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

// The factory of the library that serves clsid, loading the library on first use.
HRESULT factoryFor(const Guid& clsid, CreateComponentFunction* factory) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto library = r.libraries.find(clsid);
    if (library == r.libraries.end()) return REGDB_E_CLASSNOTREG;
    const auto known = r.factories.find(library->second);
    if (known != r.factories.end()) {
        *factory = known->second;
        return S_OK;
    }
    platform::DynamicLibrary loaded = platform::DynamicLibrary::load(library->second);
    if (!loaded.isLoaded()) return CO_E_DLLNOTFOUND;
    auto* create = reinterpret_cast<CreateComponentFunction>(loaded.symbol(kCreateComponentSymbol));
    if (!create) return CO_E_ERRORINDLL;
    loaded.keepLoaded();
    r.factories.emplace(library->second, create);
    *factory = create;
    return S_OK;
}

// A BSTR's allocation: the length in bytes, then the units and a terminating zero.
constexpr size_t kPrefixBytes = sizeof(uint32_t);

}  // namespace

HRESULT CoInitialize(void* /*reserved*/) { return initialisations++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (initialisations > 0) --initialisations;
}

HRESULT CoCreateInstance(const Guid& clsid, IUnknown* outer, uint32_t context, const Guid& iid,
                         void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (initialisations == 0) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    CreateComponentFunction factory = nullptr;
    const HRESULT found = factoryFor(clsid, &factory);
    if (failed(found)) return found;
    const HRESULT created = factory(&clsid, &iid, object);
    if (failed(created)) {
        *object = nullptr;  // whatever the factory left there is not ours to use
    } else if (!*object) {
        return E_FAIL;
    }
    return created;
}

HRESULT OleRun(IUnknown* object) { return object ? S_OK : E_INVALIDARG; }

std::string registerComponentLibrary(const Guid& clsid, const std::string& libraryFile) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::string previous;
    if (const auto it = r.libraries.find(clsid); it != r.libraries.end()) {
        previous = it->second;
        r.libraries.erase(it);
    }
    if (!libraryFile.empty()) r.libraries.emplace(clsid, libraryFile);
    return previous;
}

BSTR SysAllocString(const WideChar* text) {
    if (!text) return nullptr;
    size_t units = 0;
    while (text[units]) ++units;
    if (units > (UINT32_MAX - kPrefixBytes) / sizeof(WideChar) - 1) return nullptr;
    auto* block =
        static_cast<unsigned char*>(std::malloc(kPrefixBytes + (units + 1) * sizeof(WideChar)));
    if (!block) return nullptr;
    const auto bytes = static_cast<uint32_t>(units * sizeof(WideChar));
    std::memcpy(block, &bytes, kPrefixBytes);
    auto* string = reinterpret_cast<WideChar*>(block + kPrefixBytes);
    std::memcpy(string, text, (units + 1) * sizeof(WideChar));
    return string;
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<unsigned char*>(text) - kPrefixBytes);
}

uint32_t SysStringLen(BSTR text) {
    if (!text) return 0;
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(text) - kPrefixBytes, kPrefixBytes);
    return bytes / sizeof(WideChar);
}

}  // namespace ks_formats::com
