#pragma once
// Cold-cache runs: a benchmark drops its input files from the page cache so that the next
// reader finds them on the disk.
#include <filesystem>
#include <vector>

namespace bench {

// Drops the files' pages from the page cache (writing back any dirty ones first). Unlike
// emptying the whole cache it needs no privileges and leaves the rest of the machine's cache
// alone.
void evictFromPageCache(const std::vector<std::filesystem::path>& files);

}  // namespace bench
