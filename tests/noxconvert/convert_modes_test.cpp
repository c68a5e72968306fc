// Conversions in each batch mode, checked through what the tool itself reports: the files it
// says it wrote exist and hold the inputs' points, and the project's scans land in one place.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/file_bytes.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_output.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;

constexpr double kSlack = 0.002;  // the 1 mm storage step, and float input rounding

Info infoOf(const std::string& noxFile) {
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"info", noxFile});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return parseInfo(run.out);
}

class ConvertModes : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratchFolder();
        inputs = writeSampleInputs(folder);
    }

    ToolRun convert(const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {"convert"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const ToolRun run = runTool(KS_NOXCONVERT_PATH, command);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run;
    }

    fs::path folder;
    SampleInputs inputs;
};

TEST_F(ConvertModes, BatchModeWritesOneFileHoldingEveryInput) {
    const fs::path output = folder / "out" / "all.nox";
    const ToolRun run =
        convert({inputs.stream.string(), inputs.grid.string(), "-o", output.string()});
    ASSERT_EQ(writtenFiles(run.out), std::vector<std::string>{output.string()}) << run.out;
    ASSERT_TRUE(fs::exists(output));

    const Info info = infoOf(output.string());
    EXPECT_EQ(info.file.number("clouds"), 2u);
    EXPECT_EQ(info.file.number("points"), inputs.streamPoints + inputs.gridPoints);
    EXPECT_EQ(info.file.number("null points"), inputs.gridNulls);
    ASSERT_EQ(info.clouds.size(), 2u);
    // Import files are converted in name order: room.3dd, then scan.rxp.
    EXPECT_EQ(info.clouds[0].number("points"), inputs.gridPoints);
    EXPECT_EQ(info.clouds[1].number("points"), inputs.streamPoints);
}

// --threads changes how many threads encode, never the file.
TEST_F(ConvertModes, ThreadCountLeavesTheFileAsItIs) {
    std::vector<uint8_t> first;
    for (const char* threads : {"1", "3"}) {
        const fs::path output = folder / (std::string("threads") + threads + ".nox");
        convert({"--threads", threads, inputs.stream.string(), inputs.grid.string(), "-o",
                 output.string()});
        const std::vector<uint8_t> bytes = readBytes(output);
        ASSERT_FALSE(bytes.empty());
        if (first.empty())
            first = bytes;
        else
            EXPECT_TRUE(bytes == first);
    }
}

TEST_F(ConvertModes, FileModeWritesOneFilePerInputIntoTheFolder) {
    const fs::path output = folder / "per-file";
    const ToolRun run = convert(
        {"--mode", "file", inputs.stream.string(), inputs.grid.string(), "-o", output.string()});
    const std::vector<std::string> expected{(output / "room.nox").string(),
                                            (output / "scan.nox").string()};
    ASSERT_EQ(writtenFiles(run.out), expected) << run.out;
    EXPECT_EQ(infoOf(expected[0]).file.number("points"), inputs.gridPoints);
    EXPECT_EQ(infoOf(expected[1]).file.number("points"), inputs.streamPoints);
}

TEST_F(ConvertModes, ScanModeWritesOneFilePerProjectScan) {
    const fs::path output = folder / "per-scan";
    const ToolRun run = convert({"--mode", "scan", inputs.project.string(), "-o", output.string()});
    const std::vector<std::string> files = writtenFiles(run.out);
    ASSERT_EQ(files.size(), 2u) << run.out;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        EXPECT_EQ(fs::path(file).parent_path(), output);
        const Info info = infoOf(file);
        EXPECT_EQ(info.file.number("clouds"), 1u);
        EXPECT_EQ(info.file.number("points"), inputs.wallPoints);
    }
    EXPECT_NE(files[0], files[1]);
}

// Both positions see the same wall; with their registrations applied the two clouds cover the
// same place, at the project's offset.
TEST_F(ConvertModes, ProjectScansLandOnTheSameWall) {
    const fs::path output = folder / "site.nox";
    convert({inputs.project.string(), "-o", output.string()});
    const Info info = infoOf(output.string());
    ASSERT_EQ(info.clouds.size(), 2u);
    for (const InfoSection& cloud : info.clouds) {
        SCOPED_TRACE(cloud.values.at("name"));
        EXPECT_EQ(cloud.number("points"), inputs.wallPoints);
        const std::optional<Bounds> b = cloud.bounds();
        ASSERT_TRUE(b.has_value()) << "no bounds line for the cloud";
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(b->min[axis], inputs.wallMin[axis], kSlack) << "axis " << axis;
            EXPECT_NEAR(b->max[axis], inputs.wallMax[axis], kSlack) << "axis " << axis;
        }
    }
}

// The setting must reach the batch: positions are divided by the units per metre.
TEST_F(ConvertModes, UnitsPerMetreScalesTheBounds) {
    const fs::path plain = folder / "plain.nox";
    const fs::path halved = folder / "halved.nox";
    convert({inputs.stream.string(), "-o", plain.string()});
    convert({inputs.stream.string(), "--units-per-metre", "2", "-o", halved.string()});
    const std::optional<Bounds> a = infoOf(plain.string()).file.bounds();
    const std::optional<Bounds> b = infoOf(halved.string()).file.bounds();
    ASSERT_TRUE(a && b);
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(b->min[axis], a->min[axis] / 2, kSlack) << "axis " << axis;
        EXPECT_NEAR(b->max[axis], a->max[axis] / 2, kSlack) << "axis " << axis;
    }
    EXPECT_GT(a->max[0] - a->min[0], 10.0);  // the room is wide enough for the check to mean much
}

TEST_F(ConvertModes, LeavingOutColourAndIntensityShowsInTheChannels) {
    const fs::path full = folder / "full.nox";
    const fs::path bare = folder / "bare.nox";
    convert({inputs.grid.string(), "-o", full.string()});
    convert({inputs.grid.string(), "--no-colour", "--no-intensity", "-o", bare.string()});
    const std::string fullChannels = infoOf(full.string()).file.values["channels"];
    const std::string bareChannels = infoOf(bare.string()).file.values["channels"];
    EXPECT_NE(fullChannels.find("colour"), std::string::npos) << fullChannels;
    EXPECT_NE(fullChannels.find("intensity"), std::string::npos) << fullChannels;
    EXPECT_EQ(bareChannels.find("colour"), std::string::npos) << bareChannels;
    EXPECT_EQ(bareChannels.find("intensity"), std::string::npos) << bareChannels;
}

TEST_F(ConvertModes, QuietPrintsNothingWhenAllGoesWell) {
    const fs::path output = folder / "quiet.nox";
    const ToolRun run = convert({"--quiet", inputs.stream.string(), "-o", output.string()});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(ConvertModes, SettingsDumpListsTheBatch) {
    const fs::path output = folder / "dumped.nox";
    const fs::path dump = folder / "settings.txt";
    convert({inputs.stream.string(), "--units-per-metre", "1000", "--dump-settings", dump.string(),
             "-o", output.string()});
    const std::string text = readText(dump);
    EXPECT_NE(text.find("getUnitsPerMeter()1000"), std::string::npos) << text;
    EXPECT_NE(text.find("scan.rxp"), std::string::npos) << text;
}

}  // namespace
}  // namespace ks_test
