#pragma once

#include <atomic>

namespace ks_formats {

// A cancel request: set from any thread, polled by the converting one. Copying takes the value
// over (an atomic alone cannot be copied), so a class holding one keeps its generated copy
// operations. Same size and alignment as the atomic it wraps.
class CancelFlag {
public:
    CancelFlag() = default;
    CancelFlag(const CancelFlag& other) : value_(other.get()) {}
    CancelFlag& operator=(const CancelFlag& other) {
        set(other.get());
        return *this;
    }

    void set(bool on) { value_.store(on, std::memory_order_relaxed); }
    bool get() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> value_{false};
};

static_assert(sizeof(CancelFlag) == sizeof(std::atomic<bool>) &&
              alignof(CancelFlag) == alignof(std::atomic<bool>));

}  // namespace ks_formats
