#pragma once

// The writer library's extension functions (nox_writer_extensions.h), reached in the copy of the
// writer that ks_formats::Initialize bound in this process: the encoding threads and the removal
// of temporary files that no writer will finish. A writer that stands in for ours may lack them;
// that is answered as Unavailable, and the thread count then goes the way every writer reads it,
// through KS_NOX_THREADS.
#include <string>

#include "ks_hostkit/refusal.h"
#include "ks_tools/held_library.h"
#include "nox_writer_extensions.h"

namespace hostkit {

class WriterExtensions {
public:
    // Looks the functions up in the writer this process holds; make it after a successful
    // ks_formats::Initialize (before it, or without a writer, nothing is available).
    WriterExtensions();
    WriterExtensions(const WriterExtensions&) = delete;
    WriterExtensions& operator=(const WriterExtensions&) = delete;

    // The threads that encode the streams started from now on (1 to KSIO_MAX_THREADS). Through
    // ksioSetThreadCount when the writer has it, else through KS_NOX_THREADS. Failed, with the
    // writer's or the system's reason, when neither takes it.
    std::optional<Refusal> setThreadCount(unsigned count);

    // Removes from folder the writer's temporary files that no writer will finish, this
    // process's own included (ksioRemoveAbandonedSpillFilesW); answers how many. Unavailable
    // when the writer lacks the function, Failed with the writer's reason when it refuses. Safe
    // to call from another thread while the writer works (the process is about to end then).
    Result<int> removeAbandonedFiles(const std::string& folder) const;

private:
    std::string lastWriterError() const;

    ks_tools::HeldLibrary writer_;
    ksioSetThreadCountFunction setThreadCount_ = nullptr;
    ksioRemoveAbandonedSpillFilesWFunction removeAbandoned_ = nullptr;
    const ksio_char* (*lastError_)() = nullptr;
};

}  // namespace hostkit
