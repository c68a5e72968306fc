// Ctrl-C while a conversion runs. The input is a named pipe that a thread keeps feeding with point
// records for as long as the test lasts, so the conversion is certainly still running when the
// signal arrives, however fast the machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <thread>

#include "ks_sampledata/point_stream.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_output.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kExitCancelled = 130;
// The point-stream reader asks for this many records a read and waits until they all arrived.
constexpr uint64_t kRecordsPerRead = 0xA00000;

void appendBytes(std::string& out, const void* data, size_t size) {
    out.append(static_cast<const char*>(data), size);
}

// Writes a point stream into a pipe from a thread of its own, at the pipe's full speed: the
// header, then the same block of records over and over until the feeder is destroyed.
class StreamFeeder {
public:
    explicit StreamFeeder(fs::path pipe) : pipe_(std::move(pipe)) {
        ::mkfifo(pipe_.c_str(), 0600);
        appendBytes(header_, "KSRXPSIM", 8);
        const uint32_t version = 1, reserved = 0;
        appendBytes(header_, &version, 4);
        appendBytes(header_, &reserved, 4);
        ks_sampledata::SyntheticStream settings;
        for (uint64_t i = 0; i < kBlockRecords; ++i) {
            const ks_sampledata::StreamRecord r = ks_sampledata::syntheticStreamRecord(settings, i);
            for (float f : {r.x, r.y, r.z, r.amplitude, r.reflectance}) appendBytes(block_, &f, 4);
            appendBytes(block_, &r.deviation, 2);
            appendBytes(block_, &r.flags, 2);
            appendBytes(block_, &r.backgroundRadiation, 4);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~StreamFeeder() {
        quit_ = true;
        thread_.join();
    }
    uint64_t records() const {
        const uint64_t bytes = bytes_.load();
        return bytes > header_.size() ? (bytes - header_.size()) / kRecordSize : 0;
    }

private:
    static constexpr uint64_t kBlockRecords = 4096;
    static constexpr uint64_t kRecordSize = 28;

    void run() {
        int fd = -1;
        std::string pending = header_;
        while (!quit_) {
            if (fd < 0) {
                // Opening for writing succeeds only once the reader has opened the pipe.
                fd = ::open(pipe_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd < 0) std::this_thread::sleep_for(2ms);
                continue;
            }
            pollfd room{fd, POLLOUT, 0};
            if (::poll(&room, 1, 20) <= 0) continue;
            if (room.revents & (POLLERR | POLLHUP)) break;  // the reader is gone
            const ssize_t wrote = ::write(fd, pending.data(), pending.size());
            if (wrote < 0 && errno != EAGAIN && errno != EINTR) break;
            if (wrote <= 0) continue;
            pending.erase(0, static_cast<size_t>(wrote));
            bytes_ += static_cast<uint64_t>(wrote);
            if (pending.empty()) pending = block_;
        }
        if (fd >= 0) ::close(fd);
    }

    fs::path pipe_;
    std::string header_;
    std::string block_;
    std::atomic<bool> quit_{false};
    std::atomic<uint64_t> bytes_{0};
    std::thread thread_;
};

std::vector<fs::path> entries(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path().filename());
    return found;
}

class Cancel : public ::testing::Test {
protected:
    void SetUp() override {
        std::signal(SIGPIPE, SIG_IGN);  // the tool closes the pipe while we write
        folder = scratchFolder();
        fs::create_directories(folder / "out");
    }
    fs::path folder;
};

TEST_F(Cancel, CtrlCStopsTheConversionAndLeavesNoFileBehind) {
    StreamFeeder feeder(folder / "live.rxp");
    const fs::path output = folder / "out" / "live.nox";
    ToolProcess tool(KS_NOXCONVERT_PATH, {"convert", (folder / "live.rxp").string(), "-o",
                                          output.string(), "--feedback-count", "1000"});
    ASSERT_TRUE(tool.waitForError(
        [](const std::string& err) { return err.find("progress") != std::string::npos; }, 60s))
        << "no progress before the signal";
    tool.sendSignal(SIGINT);
    const ToolRun run = tool.finish(60s);

    EXPECT_EQ(run.exitCode, kExitCancelled) << run.err;
    EXPECT_NE(run.out.find("cancelled: " + output.string() + " was not written"), std::string::npos)
        << run.out;
    EXPECT_TRUE(writtenFiles(run.out).empty()) << run.out;
    // Neither the output nor the writer's temporary file of it stays behind.
    EXPECT_TRUE(entries(folder / "out").empty()) << "left behind: " << entries(folder / "out")[0];
    EXPECT_GT(feeder.records(), kRecordsPerRead);
}

// With a feedback count larger than any read, the conversion never reaches a cancel check on its
// own; the second Ctrl-C ends it at once and still removes the half-built file.
TEST_F(Cancel, SecondCtrlCEndsAtOnce) {
    StreamFeeder feeder(folder / "busy.rxp");
    const fs::path output = folder / "out" / "busy.nox";
    ToolProcess tool(KS_NOXCONVERT_PATH, {"convert", (folder / "busy.rxp").string(), "-o",
                                          output.string(), "--feedback-count", "1000000000"});
    // The writer's temporary file shows the conversion has started; records beyond the first
    // read show the tool is busy writing points.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (feeder.records() <= kRecordsPerRead || entries(folder / "out").empty()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the conversion did not start";
        ASSERT_TRUE(tool.running());
        std::this_thread::sleep_for(20ms);
    }
    tool.sendSignal(SIGINT);
    // Signals of one kind do not queue: let the first be taken before the second is sent.
    ASSERT_TRUE(tool.waitForError(
        [](const std::string& err) { return err.find("cancelling") != std::string::npos; }, 10s));
    ASSERT_TRUE(tool.running());
    tool.sendSignal(SIGINT);
    const auto start = std::chrono::steady_clock::now();
    const ToolRun run = tool.finish(10s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(run.exitCode, kExitCancelled) << run.err;
    EXPECT_NE(run.err.find("stopped at once"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_TRUE(entries(folder / "out").empty()) << "left behind: " << entries(folder / "out")[0];
}

}  // namespace
}  // namespace ks_test
