#include "platform/directory_listing.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace ks_formats::platform {
namespace {

bool isRealDirectory(const std::string& folder, const dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_UNKNOWN) return false;
    struct stat info {};
    const std::string full = (folder.empty() ? std::string(".") : folder) + "/" + entry->d_name;
    return lstat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int listDirectory(const std::string& folder, const std::string& pattern,
                  std::vector<DirectoryEntry>& entries, bool* opened) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (opened) *opened = dir != nullptr;
    if (!dir) return errno ? errno : ENOENT;
    int result = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            result = errno;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (fnmatch(pattern.c_str(), entry->d_name, 0) != 0) continue;
        entries.push_back({entry->d_name, isRealDirectory(folder, entry)});
    }
    closedir(dir);
    return result;
}

}  // namespace ks_formats::platform
