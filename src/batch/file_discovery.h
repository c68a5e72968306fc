#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ks_formats/scan_info.h"
#include "ks_formats/types.h"
#include "platform/directory_listing.h"

namespace ks_formats {

// Lists every entry of one folder into entries. opened tells whether the listing could start;
// the answer is 0 for a complete listing, else the error that broke it off (entries listed
// before the error stay).
using FolderLister = std::function<int(
    const std::string& folder, std::vector<platform::DirectoryEntry>& entries, bool& opened)>;

// Walks directory and appends every file whose extension (the text after the last "." of its
// name, the whole name when it has none) equals extension exactly, case included. Files come
// in with the identity matrix and included false. Names beginning with "." are skipped, folders
// included; with recurse set, each subfolder is walked where the listing meets it.
//
// A folder that cannot be opened adds nothing and does not stop the walk (answer 0). An error
// that breaks off a listing ends the walk of that folder and of every folder above it, and is
// the answer; files appended before it stay. An empty directory stands for "/", and its
// entries join as "/" + name.
int collectFilesInTree(std::vector<ScanInfo>& list, const WideString& directory,
                       const WideString& extension, bool recurse);

// The same walk with its folder listing supplied by the caller.
int collectFilesInTree(std::vector<ScanInfo>& list, const WideString& directory,
                       const WideString& extension, bool recurse, const FolderLister& lister);

}  // namespace ks_formats
