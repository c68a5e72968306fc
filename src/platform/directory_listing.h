#pragma once

#include <string>
#include <vector>

namespace ks_formats::platform {

struct DirectoryEntry {
    std::string name;          // file name only
    bool isDirectory = false;  // a real directory; a link to one counts as a file, so walks
                               // never follow links into loops
};

// Lists the entries of folder whose names match pattern ("*" and "?" wildcards, as a shell
// would; a leading "." is matched like any other character). "." and ".." are never listed.
// Returns 0 on success, else the errno of the failure; entries listed before a failure stay.
// When opened is given it tells whether the folder could be opened at all, so that a caller can
// tell a folder it may not read from a listing that broke off.
int listDirectory(const std::string& folder, const std::string& pattern,
                  std::vector<DirectoryEntry>& entries, bool* opened = nullptr);

}  // namespace ks_formats::platform
