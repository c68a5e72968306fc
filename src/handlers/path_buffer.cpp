#include "handlers/path_buffer.h"

#include <string>

#include "batch/batch_diagnostics.h"
#include "ks_common/text_encoding.h"

namespace ks_formats {

bool pathFitsOrReport(ImportBatch* batch, const WideChar* name) {
    if (PathBuffer::fits(name)) return true;
    diagnostics::reportFailureUtf8(batch, ResultCannotOpenFile, PhaseRead,
                                   ks_common::toUtf8(name) + ": the import name is " +
                                       std::to_string(ks_common::wideView(name).size()) +
                                       " units long; at most " +
                                       std::to_string(PathBuffer::capacity() - 1) + " fit");
    return false;
}

}  // namespace ks_formats
