#include <windows.h>

#include <string>

#include "abandoned_spill_files.h"
#include "ks_common/text_encoding.h"
#include "nox_spill_name.h"
#include "writer_error.h"

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

// Removes the files of the folder prefix ("" for the current folder, else ending with a
// separator) whose name gives a process (processOf answers -1 for any other name) that has ended,
// or that is this process when ownToo is set. Answers how many, or -1 with the system's error
// when the folder cannot be searched. This process's own temporary files are open with delete
// sharing, so they go while its writer still holds them.
template <typename ProcessOf>
int removeFrom(const std::wstring& prefix, ProcessOf processOf, bool ownToo, DWORD& error) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((prefix + L".*.part").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : -1;
    }
    const long self = static_cast<long>(GetCurrentProcessId());
    int removed = 0;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::wstring name = found.cFileName;
        const long process = processOf(ks_common::encodeUtf8(name));
        if ((ownToo && process == self) || processHasEnded(process))
            if (DeleteFileW((prefix + name).c_str())) ++removed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return removed;
}

}  // namespace

void removeAbandonedSpillFiles(const std::string& folder, const std::string& outputName) {
    // folder is "" (the current folder) or ends with a separator.
    DWORD ignored = 0;
    removeFrom(
        ks_common::decodeLenientUtf8(folder),
        [&](const std::string& name) { return spillFileProcess(name, outputName); }, false,
        ignored);
}

int removeAbandonedSpillFilesIn(const std::string& folder) {
    std::wstring prefix = ks_common::decodeLenientUtf8(folder);
    if (!prefix.empty() && prefix.back() != L'\\' && prefix.back() != L'/') prefix += L'\\';
    DWORD error = 0;
    const int removed = removeFrom(
        prefix, [](const std::string& name) { return spillFileAnyProcess(name); }, true, error);
    if (removed < 0) {
        const bool missing = error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
                             error == ERROR_DIRECTORY;
        throw WriterError(kInvalidArgument,
                          "cannot list the folder " + folder + ": " +
                              (missing ? std::string("no such folder")
                                       : "Windows error " + std::to_string(error)));
    }
    return removed;
}

}  // namespace noxwriter
