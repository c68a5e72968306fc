// Stream files on Windows. The converter hands UTF-8 paths ("file://C:/scans/a.rxp"); other
// callers hand paths in the ANSI code page, the narrow encoding of Windows programs. A path that
// is valid UTF-8 is tried as UTF-8 first; when that names no file, or the path is not UTF-8, it
// is read in the ANSI code page. Either way the file is opened by its UTF-16 name, so no
// character is lost to the code page.
#include <windows.h>

#include <cstdio>
#include <string>

#include "stream_file.h"

namespace scanifc_files {
namespace {

// The UTF-16 form of text in code page codePage; false when text is not valid there.
bool toWide(UINT codePage, const std::string& text, std::wstring& wide) {
    const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (units <= 0) return false;
    wide.assign(static_cast<size_t>(units), L'\0');
    return MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), units) == units;
}

// "S": the file is read front to back (FILE_FLAG_SEQUENTIAL_SCAN), so the system reads ahead.
File openWide(const std::wstring& path) { return File(_wfopen(path.c_str(), L"rbS")); }

}  // namespace

File openStreamFile(const std::string& path) {
    std::wstring wide;
    if (toWide(CP_UTF8, path, wide))
        if (File file = openWide(wide)) return file;
    if (toWide(CP_ACP, path, wide)) return openWide(wide);
    return nullptr;
}

}  // namespace scanifc_files
