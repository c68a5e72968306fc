#pragma once

#include "ks_formats/types.h"

namespace ks_formats {

// One import file: its full path, its placement and whether the driver converts it.
class KS_API ScanInfo {
public:
    ScanInfo();
    ScanInfo(const ScanInfo&) = default;
    ScanInfo& operator=(const ScanInfo&) = default;
    ~ScanInfo();

    // A null pointer keeps the previous name. Narrow names are UTF-8, decoded leniently.
    void setFilename(const WideChar* name);
    void setFilename(const char* name);
    const WideChar* getFilename() const { return filename.c_str(); }

    void setIncluded(bool on) { included = on; }
    bool getIncluded() const { return included; }

    void setMatrix(const Matrix4d& m) { transform = m; }
    const Matrix4d* getMatrix() const { return &transform; }

    // Ordinal order of the names by UTF-16 code unit; case matters.
    bool operator<(const ScanInfo& other) const { return filename < other.filename; }

private:
    WideString filename;
    Matrix4d transform;
    bool included;
};

}  // namespace ks_formats
