#pragma once

#include <stdexcept>
#include <string>

#include "ks_formats/types.h"

namespace ks_formats {

// A failure found anywhere inside a conversion, raised to the one place per boundary that turns
// it into the batch's _error report: the result and phase codes the host sees, and the reason a
// person can act on (which file, what was wrong, where). Those places are the handlers' import
// (guardedImport) and the driver (ConvertBatchToNOX); nothing of it leaves the library.
class ConversionFailure : public std::runtime_error {
public:
    ConversionFailure(Result result, ConvertPhase phase, const std::string& reason)
        : std::runtime_error(reason), result_(result), phase_(phase) {}
    // A reason about one file: "path: why".
    ConversionFailure(Result result, ConvertPhase phase, const std::string& file,
                      const std::string& why)
        : ConversionFailure(result, phase, file + ": " + why) {}

    Result result() const { return result_; }
    ConvertPhase phase() const { return phase_; }
    std::string reason() const { return what(); }

private:
    Result result_;
    ConvertPhase phase_;
};

}  // namespace ks_formats
