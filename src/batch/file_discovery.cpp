// Expanding search paths into import files, and keeping the import files sorted and unique.
#include "batch/file_discovery.h"

#include <algorithm>

#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"
#include "platform/paths.h"

namespace ks_formats {
namespace {

using platform::WideView;

constexpr WideChar kDot = KS_WIDE('.');

// The extension of a walked file: the text after the last "." of its name, or the whole name.
WideView fileExtension(WideView name) {
    const size_t dot = name.rfind(kDot);
    return dot == WideView::npos ? name : name.substr(dot + 1);
}

// A search path "has a three-character extension" when its last "." stands exactly four units
// before its end; such paths are always searched as a pattern, even with recursion on.
bool hasThreeCharacterExtension(WideView path) {
    return path.size() >= 4 && path.rfind(kDot) == path.size() - 4;
}

int listEverything(const std::string& folder, std::vector<platform::DirectoryEntry>& entries,
                   bool& opened) {
    return platform::listDirectory(folder, "*", entries, &opened);
}

}  // namespace

int collectFilesInTree(std::vector<ScanInfo>& list, const WideString& directory,
                       const WideString& extension, bool recurse) {
    return collectFilesInTree(list, directory, extension, recurse, listEverything);
}

int collectFilesInTree(std::vector<ScanInfo>& list, const WideString& directory,
                       const WideString& extension, bool recurse, const FolderLister& lister) {
    std::vector<platform::DirectoryEntry> entries;
    bool opened = false;
    // An empty folder is the root (of the current drive on Windows).
    const std::string folder = directory.empty()
                                   ? std::string(1, static_cast<char>(platform::kSeparator))
                                   : ks_common::encodeUtf8(directory);
    const int listingError = lister(folder, entries, opened);
    if (!opened) return 0;

    for (const platform::DirectoryEntry& entry : entries) {
        if (entry.name.empty() || entry.name.front() == '.') continue;
        const WideString name = ks_common::decodeLenientUtf8(entry.name);
        WideString full = directory;
        full.push_back(platform::kSeparator);
        full += name;
        if (entry.isDirectory) {
            if (!recurse) continue;
            const int result = collectFilesInTree(list, full, extension, recurse, lister);
            if (result != 0) return result;
        } else if (fileExtension(name) == WideView(extension)) {
            ScanInfo info;
            info.setFilename(full.c_str());
            info.setIncluded(false);
            list.push_back(std::move(info));
        }
    }
    return listingError;
}

int ImportBatch::extractFilePaths() {
    if (!searchPathsExtracted) {
        for (const WideString& path : searchPaths) extractFilesFromPath(path.c_str());
        searchPathsExtracted = true;
    }
    makeImportFilesUnique();
    return numImportFiles();
}

int ImportBatch::extractFilesFromPath(const WideChar* pathText) {
    const WideView path = ks_common::wideView(pathText);

    if (recursiveSearch && !hasThreeCharacterExtension(path)) {
        // The whole path is used, however long: a fixed-size copy could only cut it into a
        // different folder. A folder beyond the file system's own limit simply cannot be opened.
        const size_t dot = platform::findExtension(path);
        const WideString extension(dot == WideView::npos ? WideView() : path.substr(dot + 1));
        const WideString root = platform::parentFolder(path);
        collectFilesInTree(importFiles, root, extension, true);
        return numImportFiles();
    }

    // The path is a pattern for its last component. Every match, folders included, is added as
    // the path's folder + "/" + name; a path without any "/" thus gives "/" + name.
    const int before = numImportFiles();
    const size_t slash = path.rfind(platform::kSeparator);
    const WideView directory = slash == WideView::npos ? WideView() : path.substr(0, slash);
    const std::string folder = ks_common::encodeUtf8(platform::parentFolder(path));
    const std::string pattern = ks_common::encodeUtf8(platform::lastComponent(path));
    std::vector<platform::DirectoryEntry> entries;
    platform::listDirectory(folder, pattern, entries);
    for (const platform::DirectoryEntry& entry : entries) {
        WideString full(directory);
        full.push_back(platform::kSeparator);
        full += ks_common::decodeLenientUtf8(entry.name);
        addImportFile(full.c_str());
    }
    return numImportFiles() - before;
}

void ImportBatch::makeImportFilesUnique() {
    // A stable sort keeps equal names in list order, so the first of them, with its flag and
    // matrix, is the one that stays.
    std::stable_sort(importFiles.begin(), importFiles.end());
    const auto sameName = [](const ScanInfo& a, const ScanInfo& b) { return !(a < b) && !(b < a); };
    importFiles.erase(std::unique(importFiles.begin(), importFiles.end(), sameName),
                      importFiles.end());
}

}  // namespace ks_formats
