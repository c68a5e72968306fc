#include "platform/library_binder.h"

#include "platform/dynamic_library.h"

namespace ks_formats::platform {
namespace {

void clearSlots(std::span<const FunctionSlot> slots) {
    for (const FunctionSlot& slot : slots) slot.assign(slot.target, nullptr);
}

}  // namespace

BindResult bindLibrary(const std::string& fileName, std::span<const FunctionSlot> slots) {
    std::string loadError;
    DynamicLibrary library = DynamicLibrary::load(fileName, &loadError);
    if (!library.isLoaded()) {
        // The loader's message names the file already; keep it as it is.
        if (loadError.empty()) loadError = fileName + ": cannot be loaded";
        return {BindOutcome::NotLoaded, loadError};
    }
    for (const FunctionSlot& slot : slots) {
        void* address = library.symbol(slot.name);
        if (!address) {
            clearSlots(slots);
            return {BindOutcome::FunctionMissing, fileName + ": lacks " + slot.name};
        }
        slot.assign(slot.target, address);
    }
    library.keepLoaded();
    return {};
}

}  // namespace ks_formats::platform
