#include "writer_leftovers.h"

#include <unistd.h>

#include <filesystem>

namespace noxconvert {

int removeWriterLeftovers(const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string ours = "." + std::to_string(::getpid()) + ".";
    const std::string suffix = ".part";
    int removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= suffix.size() || name.front() != '.' ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0 ||
            name.find(ours) == std::string::npos)
            continue;
        std::error_code ignored;
        if (fs::remove(it->path(), ignored)) ++removed;
    }
    return removed;
}

}  // namespace noxconvert
