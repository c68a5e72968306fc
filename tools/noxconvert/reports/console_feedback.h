#pragma once

// The conversion's Feedback: a live progress bar on a terminal, plain progress lines otherwise,
// or nothing with --quiet; every reported error printed once, with the library's reason.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"

namespace noxconvert {

struct ReportedError {
    std::string file;
    int result = 0;
    int phase = 0;
    std::string reason;
    bool operator==(const ReportedError&) const = default;
};

// The error line: "noxconvert: error: FILE: MEANING (ResultName), while PHASE: REASON" (without
// ": REASON" when the library gave none), line breaks in the reason shown as spaces.
std::string errorLine(const ReportedError& error);

enum class ProgressStyle { Bar, Lines, Quiet };

class ConsoleFeedback final : public ks_formats::Feedback {
public:
    // pointsRead counts the points the handlers have passed on so far (for points per second).
    ConsoleFeedback(ProgressStyle style, std::FILE* out, const std::atomic<uint64_t>& pointsRead);

    void reportProgress(ks_formats::ImportBatch* batch, const ks_formats::WideChar* fileName,
                        int overall, int filePercent, int fileIndex, int phase) override;
    void reportError(ks_formats::ImportBatch* batch, const ks_formats::WideChar* fileName,
                     ks_formats::Result result, int fileIndex,
                     ks_formats::ConvertPhase phase) override;

    // Asks the library to cancel the batch, now (from any thread) and again at every later report:
    // a conversion clears the batch's cancel flag as it starts, so a Ctrl-C that came just before
    // would otherwise be lost.
    void requestCancel(ks_formats::ImportBatch& batch);

    // A message of the tool's own (from any thread), printed without breaking the bar.
    void note(const std::string& message);
    // Ends the bar's line before the summary.
    void finish();

private:
    void drawBar();
    void printLine();
    void clearBar();

    ProgressStyle style_;
    std::FILE* out_;
    const std::atomic<uint64_t>& pointsRead_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    mutable std::mutex mutex_;

    std::string file_;
    int overall_ = 0;
    int filePercent_ = 0;
    int fileIndex_ = -1;
    int files_ = 0;
    int phase_ = 0;
    bool barShown_ = false;
    int lastLineOverall_ = -1;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::chrono::steady_clock::time_point lastLine_{};
    std::vector<ReportedError> printed_;  // each error is printed once
    std::atomic<bool> cancelWanted_{false};
};

}  // namespace noxconvert
