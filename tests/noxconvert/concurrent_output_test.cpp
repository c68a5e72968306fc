// Several processes converting into the same output name at the same time: each builds its own
// temporary file and renames it onto the name, so one complete file stays and no temporary does,
// and none of them takes another's temporary for abandoned.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_output.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ConcurrentOutput, ProcessesWritingOneNameLeaveOneCompleteFile) {
    const fs::path folder = scratchFolder();
    fs::create_directories(folder / "inputs");
    fs::create_directories(folder / "out");
    const SampleInputs inputs = writeSampleInputs(folder / "inputs");
    const fs::path output = folder / "out" / "shared.nox";

    constexpr int kProcesses = 6;
    std::vector<std::unique_ptr<ToolProcess>> tools;
    for (int i = 0; i < kProcesses; ++i)
        tools.push_back(std::make_unique<ToolProcess>(
            KS_NOXCONVERT_PATH,
            std::vector<std::string>{"convert", inputs.stream.string(), inputs.grid.string(), "-o",
                                     output.string()}));
    for (auto& tool : tools) {
        const ToolRun run = tool->finish(120s);
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }

    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(folder / "out"))
        left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"shared.nox"});
    const ToolRun info = runTool(KS_NOXCONVERT_PATH, {"info", output.string()});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(parseInfo(info.out).file.number("points"), inputs.streamPoints + inputs.gridPoints);
}

}  // namespace
}  // namespace ks_test
