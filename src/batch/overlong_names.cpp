#include "batch/overlong_names.h"

#include <map>
#include <mutex>

namespace ks_formats {
namespace {

std::mutex namesMutex;
std::map<const ImportBatch*, size_t> overlongNames;

}  // namespace

void rememberOverlongOutputName(const ImportBatch* batch, size_t units) {
    std::lock_guard lock(namesMutex);
    if (fitsNameField(units))
        overlongNames.erase(batch);
    else
        overlongNames[batch] = units;
}

void forgetOverlongOutputName(const ImportBatch* batch) { rememberOverlongOutputName(batch, 0); }

size_t overlongOutputNameUnits(const ImportBatch* batch) {
    std::lock_guard lock(namesMutex);
    const auto found = overlongNames.find(batch);
    return found == overlongNames.end() ? 0 : found->second;
}

}  // namespace ks_formats
