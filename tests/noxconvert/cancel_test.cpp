// Ctrl-C while a conversion runs. The input is a named pipe that the test keeps feeding with
// point records, so the conversion is certainly still running when the signal arrives, however
// fast the machine.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "ks_sampledata/point_stream.h"
#include "sample_inputs.h"
#include "tool_output.h"
#include "tool_process.h"

namespace nctest {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kExitCancelled = 130;

void appendBytes(std::string& out, const void* data, size_t size) {
    out.append(static_cast<const char*>(data), size);
}

// Writes a point stream into a pipe without blocking: the header, then records for as long as
// the test wants.
class StreamFeeder {
public:
    explicit StreamFeeder(fs::path pipe) : pipe_(std::move(pipe)) {
        ::mkfifo(pipe_.c_str(), 0600);
        appendBytes(pending_, "KSRXPSIM", 8);
        const uint32_t version = 1, reserved = 0;
        appendBytes(pending_, &version, 4);
        appendBytes(pending_, &reserved, 4);
    }
    ~StreamFeeder() {
        if (fd_ >= 0) ::close(fd_);
    }

    // One step: opens the pipe once the reader has, and writes what the pipe takes.
    void feed() {
        if (fd_ < 0) fd_ = ::open(pipe_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;  // no reader yet
        if (pending_.empty()) refill();
        const ssize_t wrote = ::write(fd_, pending_.data(), pending_.size());
        if (wrote > 0) pending_.erase(0, static_cast<size_t>(wrote));
    }
    uint64_t records() const { return next_; }

private:
    void refill() {
        for (int i = 0; i < 4096; ++i) {
            const ks_sampledata::StreamRecord r = ks_sampledata::syntheticStreamRecord(settings_, next_++);
            for (float f : {r.x, r.y, r.z, r.amplitude, r.reflectance}) appendBytes(pending_, &f, 4);
            appendBytes(pending_, &r.deviation, 2);
            appendBytes(pending_, &r.flags, 2);
            appendBytes(pending_, &r.backgroundRadiation, 4);
        }
    }

    fs::path pipe_;
    int fd_ = -1;
    std::string pending_;
    uint64_t next_ = 0;
    ks_sampledata::SyntheticStream settings_;
};

std::vector<fs::path> entries(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().filename());
    return found;
}

class Cancel : public ::testing::Test {
protected:
    void SetUp() override {
        std::signal(SIGPIPE, SIG_IGN);  // the tool closes the pipe while we write
        folder = testFolder();
        fs::create_directories(folder / "out");
    }
    fs::path folder;
};

TEST_F(Cancel, CtrlCStopsTheConversionAndLeavesNoFileBehind) {
    StreamFeeder feeder(folder / "live.rxp");
    const fs::path output = folder / "out" / "live.nox";
    ToolProcess tool({"convert", (folder / "live.rxp").string(), "-o", output.string(),
                      "--feedback-count", "1000"});
    const auto feed = [&] { feeder.feed(); };
    ASSERT_TRUE(tool.waitForError([](const std::string& err) { return err.find("progress") != std::string::npos; },
                                  30s, feed))
        << "no progress before the signal";
    tool.sendSignal(SIGINT);
    const ToolRun run = tool.finish(30s, feed);

    EXPECT_EQ(run.exitCode, kExitCancelled) << run.err;
    EXPECT_NE(run.err.find("cancel"), std::string::npos) << run.err;
    EXPECT_TRUE(writtenFiles(run.out).empty()) << run.out;
    EXPECT_TRUE(entries(folder / "out").empty()) << "left behind: " << entries(folder / "out")[0];
    EXPECT_GT(feeder.records(), 1000u);
}

// After the first Ctrl-C the tool waits for its next cancel check, which a stalled input never
// reaches; the second ends it at once.
TEST_F(Cancel, SecondCtrlCEndsAtOnce) {
    StreamFeeder feeder(folder / "stall.rxp");
    const fs::path output = folder / "out" / "stall.nox";
    ToolProcess tool({"convert", (folder / "stall.rxp").string(), "-o", output.string(),
                      "--feedback-count", "1000"});
    ASSERT_TRUE(tool.waitForError([](const std::string& err) { return err.find("progress") != std::string::npos; },
                                  30s, [&] { feeder.feed(); }));
    tool.sendSignal(SIGINT);  // no more feeding: the reader now blocks in the pipe
    ASSERT_TRUE(tool.waitForError([](const std::string& err) { return err.find("cancel") != std::string::npos; },
                                  10s));
    tool.sendSignal(SIGINT);
    const auto start = std::chrono::steady_clock::now();
    const ToolRun run = tool.finish(10s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(run.exitCode, kExitCancelled) << run.err;
    EXPECT_FALSE(fs::exists(output));
    // Neither the output nor the writer's temporary file of it stays behind.
    EXPECT_TRUE(entries(folder / "out").empty()) << "left behind: " << entries(folder / "out")[0];
}

}  // namespace
}  // namespace nctest
