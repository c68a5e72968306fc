// Folder listings on Windows: FindFirstFileW / FindNextFileW on folder\pattern, whose wildcards
// are the system's own.
#include <windows.h>

#include <string>

#include "ks_common/text_encoding.h"
#include "platform/directory_listing.h"

namespace ks_formats::platform {
namespace {

// Closes the search however the listing ends.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

int listDirectory(const std::string& folder, const std::string& pattern,
                  std::vector<DirectoryEntry>& entries, bool* opened) {
    const WideString search =
        ks_common::decodeLenientUtf8((folder.empty() ? std::string(".") : folder) + "\\" + pattern);
    const std::wstring path(search.begin(), search.end());
    WIN32_FIND_DATAW found{};
    FindHandle find(FindFirstFileW(path.c_str(), &found));
    if (find.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Nothing matching in a folder that exists is an empty listing, not a failure.
        const bool empty = error == ERROR_FILE_NOT_FOUND;
        if (opened) *opened = empty;
        return empty ? 0 : static_cast<int>(error);
    }
    if (opened) *opened = true;
    do {
        const std::wstring name(found.cFileName);
        if (name == L"." || name == L"..") continue;
        // A reparse point (a link) counts as a file, so walks never follow links into loops.
        const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                               !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        entries.push_back({ks_common::encodeUtf8(WideString(name.begin(), name.end())), directory});
    } while (FindNextFileW(find.get(), &found));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(error);
}

}  // namespace ks_formats::platform
