// Format queries: the registered input handlers by index, the capability table by format.
#include <cstring>

#include "api/format_table.h"
#include "api/handler_registry.h"
#include "ks_common/narrow_text.h"
#include "ks_common/text_encoding.h"

namespace ks_formats {
namespace {

void copyWide(WideChar* target, const WideChar* text) {
    if (!target) return;
    size_t i = 0;
    for (; text && text[i]; ++i) target[i] = text[i];
    target[i] = 0;
}

void copyNarrow(char* target, const std::string& text) {
    if (target) std::memcpy(target, text.c_str(), text.size() + 1);
}

const FormatCapabilitiesI* capabilities(FormatID id) {
    return formatRegistry().getCapabilities(id);
}

}  // namespace

int NumSupportedFormats() { return static_cast<int>(handlerCount()); }

int GetNumSupportedFormats() { return NumSupportedFormats(); }

bool FormatInfo(int index, WideChar* extension, WideChar* description) {
    const FileTypeHandler* handler = handlerAt(static_cast<unsigned>(index));
    copyWide(extension, handler ? handler->getExtension() : nullptr);
    copyWide(description, handler ? handler->getDescription() : nullptr);
    return handler != nullptr;
}

bool FormatInfo(int index, char* extension, char* description) {
    const FileTypeHandler* handler = handlerAt(static_cast<unsigned>(index));
    copyNarrow(extension,
               handler ? ks_common::encodeNarrow(ks_common::wideView(handler->getExtension()))
                       : std::string());
    copyNarrow(description,
               handler ? ks_common::encodeNarrow(ks_common::wideView(handler->getDescription()))
                       : std::string());
    return handler != nullptr;
}

FormatID GetFormatID(int index) {
    FileTypeHandler* handler = handlerAt(static_cast<unsigned>(index));
    return handler ? handler->getFormatID() : FormatNone;
}

bool GetFormatInfo(FormatID id, char* name, char* extension, bool* infoFlag1, bool* infoFlag2) {
    const FormatCapabilitiesI* format = capabilities(id);
    if (!format) return false;
    // The table's names and extensions are fixed and fit 1024 and 4 characters.
    if (name) std::strncpy(name, format->getName(), 1023), name[1023] = 0;
    if (extension) std::strncpy(extension, format->getExtension(), 3), extension[3] = 0;
    if (infoFlag1) *infoFlag1 = format->getInfoFlag1();
    if (infoFlag2) *infoFlag2 = format->getInfoFlag2();
    return true;
}

bool GetFormatExposable(FormatID id) {
    const FormatCapabilitiesI* format = capabilities(id);
    return format && format->isExposable();
}

int GetNumSupportedFormatParameters(FormatID id) {
    const FormatCapabilitiesI* format = capabilities(id);
    return format ? format->getNumParameters() : 0;
}

const FormatParameterI* GetSupportedFormatParameter(FormatID id, int index) {
    const FormatCapabilitiesI* format = capabilities(id);
    return format ? format->getParameterAt(index) : nullptr;
}

ParamID GetSupportedFormatParameterID(FormatID id, int index) {
    const FormatParameterI* parameter = GetSupportedFormatParameter(id, index);
    return parameter ? parameter->getID() : ParamNone;
}

const FormatParameterI* GetFormatParameter(FormatID id, ParamID param) {
    const FormatCapabilitiesI* format = capabilities(id);
    return format ? format->getParameter(param) : nullptr;
}

}  // namespace ks_formats
