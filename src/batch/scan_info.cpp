#include "ks_formats/scan_info.h"

#include "ks_common/narrow_text.h"
#include "ks_common/text_encoding.h"

namespace ks_formats {

ScanInfo::ScanInfo() : transform(Matrix4d::identity()), included(false) {}

ScanInfo::~ScanInfo() = default;

void ScanInfo::setFilename(const WideChar* name) {
    if (name) filename = name;
}

void ScanInfo::setFilename(const char* name) {
    if (name) filename = ks_common::decodeNarrow(name);
}

}  // namespace ks_formats
