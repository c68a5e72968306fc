#include "writer_leftovers.h"

#include <filesystem>

#include "ks_tools/files.h"
#include "ks_tools/utf8_path.h"
#include "nox_spill_name.h"

namespace noxconvert {

int removeWriterLeftovers(const std::string& folder) {
    namespace fs = std::filesystem;
    const long process = ks_tools::currentProcessId();
    int removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(ks_tools::pathFromUtf8(folder), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = ks_tools::utf8FromPath(it->path().filename());
        if (!noxwriter::isSpillFileOf(name, process)) continue;
        std::error_code ignored;
        if (fs::remove(it->path(), ignored)) ++removed;
    }
    return removed;
}

}  // namespace noxconvert
