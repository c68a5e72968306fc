#include "api/handler_registry.h"

#include <vector>

#include "ks_common/text_encoding.h"

namespace ks_formats {
namespace {

std::vector<FileTypeHandler*>& registry() {
    static std::vector<FileTypeHandler*> handlers;
    return handlers;
}

}  // namespace

void registerHandler(FileTypeHandler* handler) { registry().push_back(handler); }

FileTypeHandler* findHandler(const WideString& extension) {
    for (FileTypeHandler* handler : registry())
        if (handler && handler->acceptsExtension(extension)) return handler;
    return nullptr;
}

unsigned handlerCount() { return static_cast<unsigned>(registry().size()); }

FileTypeHandler* handlerAt(unsigned index) {
    return index < registry().size() ? registry()[index] : nullptr;
}

FileTypeHandler* findHandlerForName(const WideChar* name) {
    const auto text = ks_common::wideView(name);
    if (text.size() < 3) return nullptr;
    return findHandler(WideString(text.substr(text.size() - 3)));
}

}  // namespace ks_formats
