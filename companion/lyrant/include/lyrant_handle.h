#pragma once
// A scene or query handle of the viewer library, given back through its remover (ksRemoveScene,
// ksDeleteQuery, or the same functions bound at run time) when it goes out of scope.
#include <cstdint>

namespace lyrant {

class ScopedHandle {
public:
    using Remover = int32_t (*)(uint64_t);
    ScopedHandle(Remover remover, uint64_t handle) : remover_(remover), handle_(handle) {}
    ~ScopedHandle() {
        if (handle_) remover_(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    // 0 when the viewer gave none.
    uint64_t get() const { return handle_; }

private:
    Remover remover_;
    uint64_t handle_;
};

}  // namespace lyrant
