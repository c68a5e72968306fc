#pragma once

#include "ks_formats/import_batch.h"
#include "ks_formats/types.h"

namespace ks_formats {

// Registers the input handlers, loads the writer library (libNoxWriter.so) and routes its build
// progress to the batch being converted. Call once before constructing any ImportBatch.
// Answers ResultSuccess, or ResultFailed when the writer library cannot be loaded or bound.
KS_API Result Initialize();

// Converts the batch on the calling thread; returns when it is finished, failed or cancelled.
// Errors of single files are reported through the batch's Feedback and do not stop the others.
KS_API Result ConvertBatchToNOX(ImportBatch* batch);

// Asks a running conversion of this batch to stop (from any thread). Always answers
// ResultCancelled; it does not wait for the conversion to stop.
KS_API Result CancelBatchToNOX(ImportBatch* batch);

// Fills the batch with the scans of a project file (an RSP project), each with its registration
// matrix. ResultSuccess when the batch was filled, else ResultFailed.
KS_API Result CreateBatchFromProject(ImportBatch* batch, const WideChar* projectPath);
KS_API Result CreateBatchFromProject(ImportBatch* batch, const char* projectPath);

// Binds the NOX viewer library (libKestrionLyrantAPI.so) for reading existing NOX files. A copy
// the process already holds is used as it is; otherwise it is loaded from libraryPath, or, when
// that is null, from the folder of the running program. ResultSuccess once bound (later calls
// answer it at once); ResultFailed when the library does not load or lacks a function, in which
// case nothing of it is kept and the next call tries again.
KS_API Result LoadLyrantAPI(const WideChar* libraryPath = nullptr);

// Lets conversions take NOX files as inputs (without it they are refused as unsupported, 10):
// binds the viewer library as LoadLyrantAPI does, then registers the NOX handler, which reads
// each file's points in world coordinates and writes them as one cloud without a matrix. Call
// after Initialize. ResultSuccess once enabled; ResultFailed when the viewer cannot be bound
// (nothing is registered, and a later call tries again).
KS_API Result EnableNOXInput(const WideChar* libraryPath = nullptr);

}  // namespace ks_formats
