// Ctrl-C while a conversion runs. The input is a point stream that takes minutes to read, so
// the conversion is certainly still running when the signal arrives, however fast the machine.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_output.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kExitCancelled = 130;

std::vector<fs::path> entries(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path().filename());
    return found;
}

class Cancel : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratchFolder();
        fs::create_directories(folder / "out");
    }
    fs::path folder;
};

TEST_F(Cancel, CtrlCStopsTheConversionAndLeavesNoFileBehind) {
    const fs::path input = writeEndlessPointStream(folder / "live.rxp");
    const fs::path output = folder / "out" / "live.nox";
    bool progressSeen = false;
    const ToolRun run = interruptOnceProgressShows(
        KS_NOXCONVERT_PATH,
        {"convert", input.string(), "-o", output.string(), "--feedback-count", "1000"},
        progressSeen);
    ASSERT_TRUE(progressSeen) << "no progress before the signal";

    EXPECT_EQ(run.exitCode, kExitCancelled) << run.err;
    EXPECT_NE(run.out.find("cancelled: " + output.string() + " was not written"), std::string::npos)
        << run.out;
    EXPECT_TRUE(writtenFiles(run.out).empty()) << run.out;
    // Neither the output nor the writer's temporary file of it stays behind.
    EXPECT_TRUE(entries(folder / "out").empty()) << "left behind: " << entries(folder / "out")[0];
}

// With a feedback count larger than any read, the conversion never reaches a cancel check on its
// own; the second Ctrl-C ends it at once and still removes the half-built file.
TEST_F(Cancel, SecondCtrlCEndsAtOnce) {
    const fs::path input = writeEndlessPointStream(folder / "busy.rxp");
    const fs::path output = folder / "out" / "busy.nox";
    ToolProcess tool(KS_NOXCONVERT_PATH, {"convert", input.string(), "-o", output.string(),
                                          "--feedback-count", "1000000000"});
    // The writer's temporary file, once it holds compressed chunks, shows the tool is busy
    // writing points.
    const auto busy = [&] {
        for (const auto& entry : fs::directory_iterator(folder / "out"))
            if (fs::file_size(entry.path()) > 0) return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!busy()) {
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

// A conversion killed outright (SIGKILL: no handler runs) leaves the writer's temporary file;
// the next conversion to the same output name removes it and writes a complete file.
TEST_F(Cancel, KilledConversionsTemporaryGoesWithTheNextConversion) {
    const fs::path endless = writeEndlessPointStream(folder / "scan.rxp");
    const fs::path output = folder / "out" / "scan.nox";
    {
        ToolProcess tool(KS_NOXCONVERT_PATH, {"convert", endless.string(), "-o", output.string()});
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (entries(folder / "out").empty() ||
               fs::file_size(folder / "out" / entries(folder / "out")[0]) == 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the conversion did not start";
            ASSERT_TRUE(tool.running());
            std::this_thread::sleep_for(20ms);
        }
        tool.sendSignal(SIGKILL);
        EXPECT_EQ(tool.finish(10s).signal, SIGKILL);
    }
    const std::vector<fs::path> left = entries(folder / "out");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].string().rfind(".scan.nox.", 0), 0u) << left[0];

    // The same output name, from a short stream of the same name in another folder.
    fs::create_directories(folder / "inputs");
    const SampleInputs inputs = writeSampleInputs(folder / "inputs");
    const ToolRun run =
        runTool(KS_NOXCONVERT_PATH, {"convert", inputs.stream.string(), "-o", output.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(entries(folder / "out"), std::vector<fs::path>{"scan.nox"});
    const ToolRun info = runTool(KS_NOXCONVERT_PATH, {"info", output.string()});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(parseInfo(info.out).file.number("points"), inputs.streamPoints);
}

}  // namespace
}  // namespace ks_test
