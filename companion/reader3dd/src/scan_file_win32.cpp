// The scan file on Windows: a BSTR is UTF-16, the form Windows names files in, so the path is
// used as it is.
#include <stdio.h>

#include "scan_file.h"

namespace ks_formats::reader3dd {

// "S": the arrays are read in file order (FILE_FLAG_SEQUENTIAL_SCAN), so the system reads ahead.
File openScanFile(com::BSTR path) { return File(_wfopen(path, L"rbS")); }

int64_t scanFileSize(std::FILE* file) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    return _ftelli64(file);
}

bool seekScanFile(std::FILE* file, uint64_t offset) {
    return _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET) == 0;
}

}  // namespace ks_formats::reader3dd
