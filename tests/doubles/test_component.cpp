// The counter component. Built twice: with the factory, and without it (KS_OMIT_FACTORY).

#include "test_component.h"

#include <atomic>

#include "component_object.h"

namespace {

using namespace ks_test;

std::atomic<int32_t> liveObjects{0};

class Counter final : public ComObject<ITestCounter, IID_ITestCounter> {
public:
    Counter() { ++liveObjects; }
    ~Counter() override { --liveObjects; }
    int32_t Increment() override { return ++count_; }

private:
    int32_t count_ = 0;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t ksTestComponentLiveObjects() {
    return liveObjects;
}

#ifndef KS_OMIT_FACTORY
extern "C" __attribute__((visibility("default"))) int32_t ksCreateComponent(const Guid* clsid,
                                                                            const Guid* iid,
                                                                            void** out) {
    *out = nullptr;
    if (*clsid != CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
    return createComObject<Counter>(*iid, out);
}
#endif
