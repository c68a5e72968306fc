#include "reports/console_feedback.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "ks_common/text_encoding.h"
#include "ks_hostkit/result_names.h"
#include "ks_tools/console.h"
#include "ks_tools/utf8_path.h"
#include "reports/report_text.h"

namespace noxconvert {
namespace {

using hostkit::describeResult;
using hostkit::phaseName;

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kLineStep = 10;  // plain lines: one per this many percent, besides file changes
constexpr auto kLineInterval = std::chrono::seconds(2);

std::string shortName(const std::string& path) {
    return ks_tools::utf8FromPath(ks_tools::pathFromUtf8(path).filename());
}

// 1234567 → "1.2M"
std::string countText(double value) {
    char text[32];
    if (value >= 1e9)
        std::snprintf(text, sizeof text, "%.1fG", value / 1e9);
    else if (value >= 1e6)
        std::snprintf(text, sizeof text, "%.1fM", value / 1e6);
    else if (value >= 1e3)
        std::snprintf(text, sizeof text, "%.1fk", value / 1e3);
    else
        std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string durationText(double seconds) {
    const long total = std::lround(std::max(seconds, 0.0));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace

std::string errorLine(const ReportedError& error) {
    std::string line = "noxconvert: error: " + (error.file.empty() ? "(no file)" : error.file) +
                       ": " + describeResult(error.result) + ", while " + phaseName(error.phase);
    return error.reason.empty() ? line : line + ": " + singleLine(error.reason);
}

ConsoleFeedback::ConsoleFeedback(ProgressStyle style, std::FILE* out,
                                 const std::atomic<uint64_t>& pointsRead)
    : style_(style), out_(out), pointsRead_(pointsRead) {}

void ConsoleFeedback::reportProgress(ks_formats::ImportBatch* batch,
                                     const ks_formats::WideChar* fileName, int overall,
                                     int filePercent, int fileIndex, int phase) {
    if (cancelWanted_.load() && batch && !batch->_getCancel()) ks_formats::CancelBatchToNOX(batch);
    std::lock_guard lock(mutex_);
    const bool newStep = fileIndex != fileIndex_ || phase != phase_;
    file_ = ks_common::toUtf8(fileName);
    overall_ = overall;
    filePercent_ = filePercent;
    fileIndex_ = fileIndex;
    phase_ = phase;
    if (batch) files_ = batch->numImportFiles();

    if (style_ == ProgressStyle::Bar) {
        const auto now = std::chrono::steady_clock::now();
        if (newStep || overall == 100 || now - lastDraw_ >= kRedrawInterval) {
            lastDraw_ = now;
            drawBar();
        }
    } else if (style_ == ProgressStyle::Lines) {
        // Some inputs report a fixed file percentage while they read: a line every few seconds
        // still shows that the conversion moves.
        const auto now = std::chrono::steady_clock::now();
        const bool crossedStep = overall / kLineStep != lastLineOverall_ / kLineStep;
        if (newStep || crossedStep || (overall == 100 && lastLineOverall_ != 100) ||
            now - lastLine_ >= kLineInterval) {
            lastLine_ = now;
            lastLineOverall_ = overall;
            printLine();
        }
    }
}

void ConsoleFeedback::reportError(ks_formats::ImportBatch* batch,
                                  const ks_formats::WideChar* fileName, ks_formats::Result result,
                                  int, ks_formats::ConvertPhase phase) {
    // The reason is only answered while this call runs: take it now.
    const ks_formats::WideChar* reason = ks_formats::GetReportedFailureReason(batch);
    std::lock_guard lock(mutex_);
    ReportedError error{ks_common::toUtf8(fileName), result, phase,
                        reason ? ks_common::toUtf8(reason) : std::string()};
    if (std::find(printed_.begin(), printed_.end(), error) != printed_.end()) return;
    printed_.push_back(error);
    // A handler that sees the cancel reports it; the summary says so once for the whole run.
    if (result == ks_formats::ResultCancelled) return;
    clearBar();
    // Errors are printed even with --quiet.
    std::fprintf(stderr, "%s\n", errorLine(error).c_str());
    std::fflush(stderr);
    if (style_ == ProgressStyle::Bar && fileIndex_ >= 0) drawBar();
}

void ConsoleFeedback::requestCancel(ks_formats::ImportBatch& batch) {
    cancelWanted_.store(true);
    ks_formats::CancelBatchToNOX(&batch);
}

void ConsoleFeedback::note(const std::string& message) {
    std::lock_guard lock(mutex_);
    clearBar();
    std::fprintf(stderr, "noxconvert: %s\n", message.c_str());
    std::fflush(stderr);
    if (style_ == ProgressStyle::Bar && fileIndex_ >= 0) drawBar();
}

void ConsoleFeedback::finish() {
    std::lock_guard lock(mutex_);
    if (barShown_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        barShown_ = false;
    }
}

void ConsoleFeedback::clearBar() {
    if (!barShown_) return;
    std::fprintf(out_, "\r\033[K");
    barShown_ = false;
}

void ConsoleFeedback::drawBar() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate =
        elapsed > 0 ? double(pointsRead_.load(std::memory_order_relaxed)) / elapsed : 0;
    const std::string left = overall_ > 0 && overall_ < 100
                                 ? durationText(elapsed * (100 - overall_) / overall_)
                                 : "--:--";
    char head[48], tail[112];
    std::snprintf(head, sizeof head, " %3d%%  file %d/%d ", overall_, fileIndex_ + 1,
                  std::max(files_, fileIndex_ + 1));
    std::snprintf(tail, sizeof tail, " %3d%%  %s  %s pts/s  %s left", filePercent_,
                  phaseName(phase_), countText(rate).c_str(), left.c_str());

    const int columns = ks_tools::consoleColumns(out_) - 1;  // never touch the last column: no wrap
    const int barWidth = std::clamp(columns / 5, 10, 40);
    const int filled = barWidth * std::clamp(overall_, 0, 100) / 100;
    std::string line =
        "[" + std::string(size_t(filled), '#') + std::string(size_t(barWidth - filled), '.') + "]";
    line += head;
    // The file name gets the room that is left, shortened in the middle if it must be.
    std::string name = shortName(file_);
    const int room = std::max(columns - int(line.size() + std::strlen(tail)), 8);
    if (int(name.size()) > room)
        name = name.substr(0, size_t(room - 3) / 2) + "..." +
               name.substr(name.size() - size_t(room - 3 + 1) / 2);
    line += name + tail;
    if (int(line.size()) > columns) line.resize(size_t(columns));
    std::fprintf(out_, "\r%s\033[K", line.c_str());
    std::fflush(out_);
    barShown_ = true;
}

void ConsoleFeedback::printLine() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate =
        elapsed > 0 ? double(pointsRead_.load(std::memory_order_relaxed)) / elapsed : 0;
    std::fprintf(out_, "progress: %d%%, file %d/%d %s %d%%, %s, %s points/s, %.1f s\n", overall_,
                 fileIndex_ + 1, std::max(files_, fileIndex_ + 1), shortName(file_).c_str(),
                 filePercent_, phaseName(phase_), countText(rate).c_str(), elapsed);
    std::fflush(out_);
}

}  // namespace noxconvert
