#include "writer_leftovers.h"

#include <unistd.h>

#include <filesystem>

#include "nox_spill_name.h"

namespace noxconvert {

int removeWriterLeftovers(const std::string& folder) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!noxwriter::isSpillFileOf(it->path().filename().string(), ::getpid())) continue;
        std::error_code ignored;
        if (fs::remove(it->path(), ignored)) ++removed;
    }
    return removed;
}

}  // namespace noxconvert
