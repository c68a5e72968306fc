#pragma once

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

namespace ks_formats::platform {

// One function a binding looks up: its exported name and the function pointer that receives
// its address. The pointer's own type is kept in `assign`, so no slot is ever written through a
// pointer of another type.
struct FunctionSlot {
    const char* name;
    void* target;
    void (*assign)(void* target, void* address);
};

template <typename Function>
FunctionSlot functionSlot(const char* name, Function& target) {
    return {name, &target, [](void* slot, void* address) {
                *static_cast<Function*>(slot) = reinterpret_cast<Function>(address);
            }};
}

// Whether a binding holds its library, and if not, why the last attempt failed. The reason is
// kept in a fixed buffer (cut to fit), so a binding that holds this state can still be
// constant-initialised.
struct BindingState {
    bool bound = false;
    char loadErrorText[512] = {};

    std::string_view loadError() const { return loadErrorText; }
    void setLoadError(std::string_view text) {
        const size_t length = std::min(text.size(), sizeof loadErrorText - 1);
        text.copy(loadErrorText, length);
        loadErrorText[length] = '\0';
    }
};

enum class BindOutcome { Bound, NotLoaded, FunctionMissing };

struct BindResult {
    BindOutcome outcome = BindOutcome::Bound;
    // Empty when bound; otherwise "<library>: " and why: the loader's message, or
    // "lacks <function>" for the first function of the table the library does not export.
    std::string reason;

    bool bound() const { return outcome == BindOutcome::Bound; }
};

// Loads fileName (a bare name in system search order, or a path) and fills every slot in table
// order. All or nothing: when a function is missing, every slot is null again and the library
// is closed, so nothing of it stays behind. A bound library stays loaded for the rest of the
// process.
BindResult bindLibrary(const std::string& fileName, std::span<const FunctionSlot> slots);

}  // namespace ks_formats::platform
