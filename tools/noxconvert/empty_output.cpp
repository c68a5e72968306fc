#include "empty_output.h"

#include <filesystem>

#include "ks_tools/utf8_path.h"

namespace noxconvert {

bool removeEmptyBatchOutput(ks_formats::BatchMode mode, ConversionOutcome& outcome) {
    if (mode != ks_formats::BatchModeSingleFile || outcome.cancelled ||
        outcome.result != ks_formats::ResultSuccess || outcome.outputs.size() != 1 ||
        outcome.outputs[0].clouds != 0)
        return false;
    std::error_code error;
    if (!std::filesystem::remove(ks_tools::pathFromUtf8(outcome.outputs[0].file), error))
        return false;
    outcome.removedEmptyOutput = outcome.outputs[0].file;
    outcome.outputs.clear();
    return true;
}

}  // namespace noxconvert
