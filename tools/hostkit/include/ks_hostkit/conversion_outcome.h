#pragma once

// What one `convert` run did, gathered once when it ends: the summary, the exit code and the
// JSON report all read it, so they cannot disagree.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"

namespace hostkit {

struct WrittenOutput {
    std::string file;
    // From the file's index; empty when the index cannot be read.
    std::optional<int> clouds;
    std::optional<uint64_t> points;  // points that hold a position, as `info` counts them
};

struct FailedInput {
    int fileIndex = -1;
    std::string file;
    int result = 0;
    int phase = 0;
    std::string reason;
};

struct LeftOutInput {
    int fileIndex = -1;
    std::string file;
    int cause = 0;
    std::string reason;
};

struct ConversionOutcome {
    std::string mode;                    // "batch", "file" or "scan"
    std::string output;                  // -o as given, made absolute once the inputs are checked
    std::vector<std::string> inputs;     // the batch's import files after expansion
    std::vector<WrittenOutput> outputs;  // files written and kept
    std::vector<LeftOutInput> skipped;
    std::vector<FailedInput> failures;  // in the order the library reported them
    std::string removedEmptyOutput;     // the zero-cloud batch file this run removed
    std::vector<std::string> refusals;  // why the run stopped before converting anything
    std::optional<int> result;          // the conversion's result; empty without a conversion
    bool cancelled = false;
    uint64_t pointsRead = 0;
    double seconds = 0;
    int exitCode = 0;
};

// Fills the inputs, the outputs with their counts, the failures and the skipped inputs from a
// batch whose conversion has ended.
void gatherFromBatch(const ks_formats::ImportBatch& batch, ConversionOutcome& outcome);

// The points of every output together; empty when one of them could not be counted.
std::optional<uint64_t> totalPoints(const ConversionOutcome& outcome);

// "SkipExcluded", "SkipBelowMinimumSize"; "cause N" for any other.
std::string skipCauseName(int cause);

// A whole-batch conversion in which no input converted still builds its output file, with no
// cloud in it; a script would take that file for a result. Removes it when this run wrote it
// (it is the batch's one written file) and its index says it holds no cloud: the file moves
// from outcome.outputs to outcome.removedEmptyOutput. Answers whether it was removed.
bool removeEmptyBatchOutput(ks_formats::BatchMode mode, ConversionOutcome& outcome);

}  // namespace hostkit
