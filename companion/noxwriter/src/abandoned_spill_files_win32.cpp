#include <windows.h>

#include <string>

#include "abandoned_spill_files.h"
#include "ks_common/text_encoding.h"
#include "nox_spill_name.h"

namespace noxwriter {
namespace {

bool processHasEnded(long processId) {
    if (processId <= 0 || static_cast<DWORD>(processId) == GetCurrentProcessId()) return false;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    // No such process; "access denied" means one runs that is not ours to open.
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

}  // namespace

void removeAbandonedSpillFiles(const std::string& folder, const std::string& outputName) {
    // folder is "" (the current folder) or ends with a separator.
    const std::wstring prefix = ks_common::decodeLenientUtf8(folder);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((prefix + L".*.part").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::wstring name = found.cFileName;
        if (processHasEnded(spillFileProcess(ks_common::encodeUtf8(name), outputName)))
            DeleteFileW((prefix + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace noxwriter
