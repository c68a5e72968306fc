#include "ks_hostkit/writer_extensions.h"

#include "ks_common/library_file.h"
#include "ks_common/text_encoding.h"
#include "ks_tools/files.h"

namespace hostkit {
namespace {

constexpr const char* kWriterFile = KS_LIBRARY_FILE("NoxWriter");

template <typename Function>
Function lookUp(const ks_tools::HeldLibrary& library, const char* name) {
    return reinterpret_cast<Function>(library.function(name));
}

}  // namespace

WriterExtensions::WriterExtensions()
    : writer_(kWriterFile),
      setThreadCount_(lookUp<ksioSetThreadCountFunction>(writer_, "ksioSetThreadCount")),
      removeAbandoned_(lookUp<ksioRemoveAbandonedSpillFilesWFunction>(
          writer_, "ksioRemoveAbandonedSpillFilesW")),
      lastError_(lookUp<const ksio_char* (*)()>(writer_, "ksioGetLastErrorW")) {}

std::string WriterExtensions::lastWriterError() const {
    const ksio_char* text = lastError_ ? lastError_() : nullptr;
    return text && *text ? ks_common::toUtf8(text) : "the writer library gave no reason";
}

std::optional<Refusal> WriterExtensions::setThreadCount(unsigned count) {
    if (setThreadCount_) {
        if (setThreadCount_(static_cast<int32_t>(count)) == 1) return std::nullopt;
        return Refusal{RefusalKind::Failed,
                       std::string(kWriterFile) + " refused the thread count: " + lastWriterError(),
                       {}};
    }
    // What every writer reads when a stream starts.
    if (ks_tools::setEnvironment("KS_NOX_THREADS", std::to_string(count))) return std::nullopt;
    return Refusal{
        RefusalKind::Failed,
        "cannot set KS_NOX_THREADS for the writer library: " + ks_tools::lastSystemError(),
        {}};
}

Result<int> WriterExtensions::removeAbandonedFiles(const std::string& folder) const {
    if (!removeAbandoned_)
        return Refusal{RefusalKind::Unavailable,
                       writer_.held()
                           ? std::string(kWriterFile) + " has no ksioRemoveAbandonedSpillFilesW"
                           : std::string(kWriterFile) + " is not loaded",
                       folder};
    int32_t removed = 0;
    const ks_common::WideString wide = ks_common::fromUtf8(folder.c_str());
    if (removeAbandoned_(wide.c_str(), &removed) != 1)
        return Refusal{RefusalKind::Failed, lastWriterError(), folder};
    return static_cast<int>(removed);
}

}  // namespace hostkit
