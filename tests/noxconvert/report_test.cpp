// What noxconvert says about a run in words a script can read: `info --json` and
// `convert --report` agree with the text the tool prints, every failed input is listed once with
// the reason its error line gave, and a whole-batch run that converted nothing leaves no file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_output.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace std::chrono_literals;

constexpr int kExitFailed = 1;
constexpr int kExitInputMissing = 4;
constexpr int kExitCancelled = 130;
constexpr int kResultSuccess = 1;
constexpr int kResultCancelled = 12;
constexpr int kSkipBelowMinimumSize = 2;
// More cells than the sample grid scan (40 x 60) has.
const std::string kAboveTheGrid = "100000";

json readJson(const fs::path& file) {
    std::ifstream in(file);
    EXPECT_TRUE(in) << "no report at " << file;
    return json::parse(in, nullptr, /*allow_exceptions=*/false);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

// The reasons of the error lines about file: "noxconvert: error: FILE: ..., while PHASE: REASON".
std::vector<std::string> errorReasons(const std::string& err, const std::string& file) {
    std::vector<std::string> reasons;
    const std::string prefix = "noxconvert: error: " + file + ": ";
    for (const std::string& line : lines(err)) {
        if (line.rfind(prefix, 0) != 0) continue;
        const size_t phase = line.find(", while ", prefix.size());
        const size_t reason = phase == std::string::npos ? phase : line.find(": ", phase);
        reasons.push_back(reason == std::string::npos ? "" : line.substr(reason + 2));
    }
    return reasons;
}

// The text of every summary line that starts with prefix ("failed: ", "skipped: ").
std::vector<std::string> summaryLines(const std::string& out, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : lines(out))
        if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
    return found;
}

std::string joined(const json& names, const char* none) {
    std::string text;
    for (const json& name : names) text += (text.empty() ? "" : ", ") + name.get<std::string>();
    return text.empty() ? none : text;
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratchFolder();
        inputs = writeSampleInputs(folder);
    }

    // Runs convert with --report and answers the report.
    json convert(std::vector<std::string> arguments, ToolRun& run) {
        const fs::path report = folder / "report.json";
        std::vector<std::string> command{"convert", "--report", report.string()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        run = runTool(KS_NOXCONVERT_PATH, command);
        json parsed = readJson(report);
        EXPECT_TRUE(parsed.is_object()) << "the report is not a JSON object";
        if (parsed.is_object()) {
            EXPECT_EQ(parsed["exitCode"], run.exitCode);
        }
        return parsed;
    }

    // The input exists, and is the report's one failure, with the reason its error line and its
    // summary line gave.
    static void expectOnlyFailure(const json& report, const ToolRun& run, const std::string& file) {
        ASSERT_EQ(report["failures"].size(), 1u) << report["failures"].dump(2);
        const json& failure = report["failures"][0];
        EXPECT_EQ(failure["file"], file);
        const int index = failure["fileIndex"];
        ASSERT_GE(index, 0);
        ASSERT_LT(size_t(index), report["inputs"].size());
        EXPECT_EQ(report["inputs"][size_t(index)], file);
        EXPECT_EQ(failure["phase"], 2);
        EXPECT_EQ(failure["phaseName"], "PhaseRead");
        EXPECT_NE(failure["result"], kResultSuccess);
        EXPECT_TRUE(failure["resultName"].get<std::string>().starts_with("Result"));

        const std::string reason = failure["reason"];
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(errorReasons(run.err, file), std::vector<std::string>{reason}) << run.err;
        EXPECT_EQ(summaryLines(run.out, "failed: "), std::vector<std::string>{file + ": " + reason})
            << run.out;
    }

    fs::path folder;
    SampleInputs inputs;
};

TEST_F(Report, InfoJsonStatesWhatTheTextStates) {
    const fs::path output = folder / "all.nox";
    ToolRun run;
    convert({inputs.stream.string(), inputs.grid.string(), "-o", output.string()}, run);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const ToolRun text = runTool(KS_NOXCONVERT_PATH, {"info", output.string()});
    const ToolRun asJson = runTool(KS_NOXCONVERT_PATH, {"info", "--json", output.string()});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    ASSERT_EQ(asJson.exitCode, 0) << asJson.err;
    const json info = json::parse(asJson.out, nullptr, false);
    ASSERT_TRUE(info.is_object()) << asJson.out;
    const Info parsed = parseInfo(text.out);

    // The counts, against the inputs and against the text.
    EXPECT_EQ(info["cloudCount"], 2);
    EXPECT_EQ(info["points"], inputs.streamPoints + inputs.gridPoints);
    EXPECT_EQ(info["nullPoints"], inputs.gridNulls);
    EXPECT_EQ(parsed.file.number("clouds"), info["cloudCount"].get<unsigned long long>());
    EXPECT_EQ(parsed.file.number("points"), info["points"].get<unsigned long long>());
    EXPECT_EQ(parsed.file.number("null points"), info["nullPoints"].get<unsigned long long>());
    EXPECT_EQ(parsed.file.values.at("scene"), info["scene"]);
    EXPECT_EQ(parsed.file.values.at("channels"), joined(info["channels"], "positions only"));

    // The text rounds to 4 decimals.
    const auto expectSameBounds = [](const std::optional<Bounds>& textBounds, const json& bounds) {
        ASSERT_TRUE(textBounds.has_value());
        ASSERT_TRUE(bounds.is_object()) << bounds.dump();
        for (size_t axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(bounds["min"][axis].get<double>(), textBounds->min[axis], 6e-5);
            EXPECT_NEAR(bounds["max"][axis].get<double>(), textBounds->max[axis], 6e-5);
        }
    };
    expectSameBounds(parsed.file.bounds(), info["bounds"]);

    ASSERT_EQ(info["clouds"].size(), parsed.clouds.size());
    for (size_t c = 0; c < parsed.clouds.size(); ++c) {
        SCOPED_TRACE("cloud " + std::to_string(c));
        const json& cloud = info["clouds"][c];
        const InfoSection& section = parsed.clouds[c];
        // A cloud is shown by its name, a nameless one by the scan it came from, in both forms.
        const std::string name = cloud["name"], scan = cloud["scan"], label = cloud["label"];
        EXPECT_EQ(label, section.values.at("name"));
        EXPECT_EQ(scan, section.values.at("scan"));
        if (name.empty())
            EXPECT_TRUE(scan.ends_with("/" + label)) << scan << " labelled " << label;
        else
            EXPECT_EQ(label, name);
        EXPECT_EQ(section.number("points"), cloud["points"].get<unsigned long long>());
        EXPECT_EQ(section.number("null points"), cloud["nullPoints"].get<unsigned long long>());
        EXPECT_EQ(section.number("group"), cloud["group"].get<unsigned long long>());
        expectSameBounds(section.bounds(), cloud["bounds"]);
        EXPECT_EQ(cloud["matrix"].size(), 16u);
    }
    // Clouds in name order: the grid scan (with its grid), then the point stream (without).
    EXPECT_EQ(info["clouds"][0]["grid"], json({{"rows", 40}, {"columns", 60}}));
    EXPECT_TRUE(info["clouds"][1]["grid"].is_null());

    ASSERT_EQ(info["groups"].size(), 1u);
    EXPECT_EQ(parsed.file.values.at("group 0"),
              info["groups"][0]["name"].get<std::string>() + " (" +
                  joined(info["groups"][0]["flags"], "no flags") + ")");
    ASSERT_FALSE(info["tags"].empty());
    for (const json& tag : info["tags"]) {
        const std::string line = std::string(tag["user"] ? "user tag: " : "tag: ") +
                                 tag["name"].get<std::string>() + " = " +
                                 tag["value"].get<std::string>();
        EXPECT_NE(text.out.find(line + "\n"), std::string::npos) << line;
    }
}

TEST_F(Report, ListsWhatASuccessfulRunWroteWithTheCountsInfoGives) {
    const fs::path output = folder / "per-file";
    ToolRun run;
    const json report = convert(
        {"--mode", "file", inputs.stream.string(), inputs.grid.string(), "-o", output.string()},
        run);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    EXPECT_EQ(report["mode"], "file");
    EXPECT_EQ(report["inputs"], json({inputs.grid.string(), inputs.stream.string()}));
    EXPECT_EQ(report["result"], kResultSuccess);
    EXPECT_EQ(report["resultName"], "ResultSuccess");
    EXPECT_FALSE(report["cancelled"].get<bool>());
    EXPECT_TRUE(report["failures"].empty());
    EXPECT_TRUE(report["skipped"].empty());
    EXPECT_TRUE(report["refusals"].empty());
    EXPECT_TRUE(report["removedEmptyOutput"].is_null());
    EXPECT_GE(report["seconds"].get<double>(), 0.0);

    std::vector<std::string> files;
    unsigned long long total = 0;
    for (const json& written : report["outputs"]) {
        const std::string file = written["file"];
        SCOPED_TRACE(file);
        files.push_back(file);
        const ToolRun info = runTool(KS_NOXCONVERT_PATH, {"info", file});
        const Info parsed = parseInfo(info.out);
        EXPECT_EQ(parsed.file.number("clouds"), written["clouds"].get<unsigned long long>());
        EXPECT_EQ(parsed.file.number("points"), written["points"].get<unsigned long long>());
        total += written["points"].get<unsigned long long>();
    }
    EXPECT_EQ(files, writtenFiles(run.out));
    EXPECT_EQ(report["totalPoints"], total);
    EXPECT_EQ(total, inputs.streamPoints + inputs.gridPoints);
    EXPECT_EQ(report["pointsRead"], total);
}

// A project given alone is expanded by the library while it converts: the report lists the
// scans that were converted, not the project file.
TEST_F(Report, ListsAProjectAsTheScansItExpandedInto) {
    ToolRun run;
    const json report =
        convert({inputs.project.string(), "-o", (folder / "site.nox").string()}, run);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(report["inputs"].size(), 2u) << report["inputs"].dump();
    for (const json& input : report["inputs"])
        EXPECT_NE(input.get<std::string>(), inputs.project.string());
    EXPECT_EQ(report["totalPoints"], 2 * inputs.wallPoints);
}

// Two ways one input among good ones goes wrong: a project scan whose data is gone, and a file
// that is no point stream at all. Each is the one failure; the others are converted.
TEST_F(Report, OneBadInputAmongGoodOnesIsTheOnlyFailureWithItsReason) {
    fs::remove_all(folder / "project.rdb" / "SCANS" / "Pos2");
    const fs::path junk = folder / "junk.rxp";
    std::ofstream(junk) << "no point stream at all\n";

    {
        SCOPED_TRACE("project scan without data");
        ToolRun run;
        const json report = convert({inputs.project.string(), inputs.grid.string(), "-o",
                                     (folder / "missing.nox").string()},
                                    run);
        EXPECT_EQ(run.exitCode, kExitFailed) << run.err;
        ASSERT_EQ(report["inputs"].size(), 3u) << report["inputs"].dump();
        ASSERT_FALSE(report["failures"].empty());
        const std::string scan = report["failures"][0]["file"];
        EXPECT_NE(scan.find("Pos2"), std::string::npos) << scan;
        expectOnlyFailure(report, run, scan);
        EXPECT_EQ(report["totalPoints"], inputs.wallPoints + inputs.gridPoints);
    }
    {
        SCOPED_TRACE("damaged point stream");
        ToolRun run;
        const json report = convert({inputs.stream.string(), junk.string(), inputs.grid.string(),
                                     "-o", (folder / "damaged.nox").string()},
                                    run);
        EXPECT_EQ(run.exitCode, kExitFailed) << run.err;
        expectOnlyFailure(report, run, junk.string());
        EXPECT_EQ(report["totalPoints"], inputs.streamPoints + inputs.gridPoints);
    }
}

// Left out on purpose is no failure: the grid scan is smaller than --min-scan-size.
TEST_F(Report, GridScanBelowTheMinimumSizeIsListedAsSkipped) {
    ToolRun run;
    const json report = convert({inputs.stream.string(), inputs.grid.string(), "--min-scan-size",
                                 kAboveTheGrid, "-o", (folder / "out.nox").string()},
                                run);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(report["failures"].empty()) << report["failures"].dump(2);
    ASSERT_EQ(report["skipped"].size(), 1u) << report["skipped"].dump(2);
    const json& skip = report["skipped"][0];
    EXPECT_EQ(skip["file"], inputs.grid.string());
    EXPECT_EQ(skip["cause"], kSkipBelowMinimumSize);
    EXPECT_EQ(skip["causeName"], "SkipBelowMinimumSize");
    const std::string reason = skip["reason"];
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(summaryLines(run.out, "skipped: "),
              std::vector<std::string>{inputs.grid.string() + ": " + reason})
        << run.out;
    EXPECT_EQ(report["totalPoints"], inputs.streamPoints);
}

TEST_F(Report, BatchThatConvertedNoInputRemovesItsEmptyOutput) {
    const fs::path junk = folder / "junk.rxp";
    std::ofstream(junk) << "no point stream at all\n";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"only input too small", {inputs.grid.string(), "--min-scan-size", kAboveTheGrid}},
        {"only input damaged", {junk.string()}},
    };
    for (const auto& [name, arguments] : cases) {
        SCOPED_TRACE(name);
        const fs::path output = folder / "empty.nox";
        std::vector<std::string> command = arguments;
        command.insert(command.end(), {"-o", output.string()});
        ToolRun run;
        const json report = convert(command, run);
        EXPECT_EQ(run.exitCode, kExitFailed) << run.err;
        EXPECT_FALSE(fs::exists(output));
        EXPECT_NE(run.err.find("noxconvert: no input converted; removed the empty output " +
                               output.string() + "\n"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(writtenFiles(run.out).empty()) << run.out;
        EXPECT_EQ(report["removedEmptyOutput"], output.string());
        EXPECT_TRUE(report["outputs"].empty());
        EXPECT_EQ(report["result"], kResultSuccess);
    }

    // One file per input: the grid scan left out for its size gets no file of its own, the
    // point stream gets its file, and nothing is removed.
    const fs::path perFile = folder / "per-file";
    ToolRun run;
    const json report = convert({"--mode", "file", inputs.grid.string(), inputs.stream.string(),
                                 "--min-scan-size", kAboveTheGrid, "-o", perFile.string()},
                                run);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(report["removedEmptyOutput"].is_null());
    ASSERT_EQ(report["outputs"].size(), 1u);
    EXPECT_EQ(report["outputs"][0]["file"], (perFile / "scan.nox").string());
    EXPECT_FALSE(fs::exists(perFile / "room.nox"));
    ASSERT_EQ(report["skipped"].size(), 1u);
}

TEST_F(Report, IsWrittenWhenTheRunIsRefused) {
    const std::string missing = (folder / "lost.rxp").string();
    ToolRun run;
    const json report =
        convert({inputs.stream.string(), missing, "-o", (folder / "x.nox").string()}, run);
    EXPECT_EQ(run.exitCode, kExitInputMissing);
    EXPECT_TRUE(report["result"].is_null());
    EXPECT_TRUE(report["outputs"].empty());
    ASSERT_EQ(report["refusals"].size(), 1u);
    const std::string refusal = report["refusals"][0];
    EXPECT_NE(refusal.find("lost.rxp"), std::string::npos) << refusal;
    EXPECT_NE(run.err.find("noxconvert: " + refusal), std::string::npos) << run.err;
}

// The input takes minutes to read, so the cancel certainly arrives while the conversion runs.
TEST_F(Report, IsWrittenWhenTheRunIsCancelled) {
    const fs::path input = writeEndlessPointStream(folder / "endless.rxp");
    const fs::path output = folder / "cancelled.nox";
    const fs::path reportFile = folder / "cancelled.json";
    bool progressSeen = false;
    const ToolRun run =
        interruptOnceProgressShows(KS_NOXCONVERT_PATH,
                                   {"convert", input.string(), "-o", output.string(), "--report",
                                    reportFile.string(), "--feedback-count", "1000"},
                                   progressSeen);
    ASSERT_TRUE(progressSeen) << "no progress before the signal";

    EXPECT_EQ(run.exitCode, kExitCancelled) << run.err;
    const json report = readJson(reportFile);
    ASSERT_TRUE(report.is_object());
    EXPECT_TRUE(report["cancelled"].get<bool>());
    EXPECT_EQ(report["result"], kResultCancelled);
    EXPECT_EQ(report["exitCode"], kExitCancelled);
    EXPECT_EQ(report["inputs"], json({input.string()}));
    EXPECT_TRUE(report["outputs"].empty());
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
}  // namespace ks_test
