// What the tool answers to wrong command lines and wrong inputs: a message naming the problem
// and the documented exit code, and nothing written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_output.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;

constexpr int kExitUsage = 2;
constexpr int kExitUnsupported = 3;
constexpr int kExitInputMissing = 4;

bool mentions(const std::string& text, const std::string& word) {
    return text.find(word) != std::string::npos;
}

TEST(CommandLine, BadArgumentsAreUsageErrorsNamingTheProblem) {
    const fs::path folder = scratchFolder();
    const std::string out = (folder / "x.nox").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string named;  // what the message must name
    };
    const Case cases[] = {
        {{}, "subcommand"},
        {{"frobnicate"}, "frobnicate"},
        {{"convert", "a.rxp", "-o", out, "--no-such-option"}, "--no-such-option"},
        {{"convert", "a.rxp"}, "output"},
        {{"convert", "-o", out}, "input"},
        {{"convert", "a.rxp", "-o", out, "--mode", "diagonal"}, "diagonal"},
        {{"convert", "a.rxp", "-o", out, "--units-per-metre", "many"}, "many"},
        {{"convert", "a.rxp", "-o", out, "--threads", "0"}, "--threads"},
        {{"info"}, "file"},
        {{"preview", "a.nox", "b.png", "--width", "wide"}, "wide"},
        // The picture is a PNG, whatever the name asked for.
        {{"preview", "a.nox", out + ".jpg"}, ".jpg"},
    };
    for (const Case& c : cases) {
        std::string command;
        for (const std::string& a : c.arguments) command += a + " ";
        SCOPED_TRACE(command);
        const ToolRun run = runTool(KS_NOXCONVERT_PATH, c.arguments);
        EXPECT_EQ(run.exitCode, kExitUsage) << run.err;
        EXPECT_TRUE(mentions(run.err, c.named)) << run.err;
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(out + ".jpg"));
    // A wrong choice is answered with the names to choose from, not the library's numbers.
    const ToolRun mode =
        runTool(KS_NOXCONVERT_PATH, {"convert", "a.rxp", "-o", out, "--mode", "x"});
    EXPECT_TRUE(mentions(mode.err, "{batch,file,scan}")) << mode.err;
}

TEST(CommandLine, HelpExplainsEveryBatchSetting) {
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"convert", "--help"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* option :
         {"--output",         "--mode",           "--units-per-metre",  "--tolerance",
          "--auto-tolerance", "--spatial-filter", "--no-colour",        "--no-intensity",
          "--classification", "--combine",        "--normals",          "--normalise-intensities",
          "--recursive",      "--project-source", "--intensity-source", "--reflectance-scale",
          "--min-scan-size",  "--feedback-count", "--threads",          "--dump-settings",
          "--quiet"})
        EXPECT_TRUE(mentions(run.out, option)) << option << " missing from\n" << run.out;
    EXPECT_TRUE(mentions(run.out, "--mode TEXT:{batch,file,scan}=batch")) << run.out;
    EXPECT_FALSE(mentions(run.out, "->")) << "choices are shown as names only\n" << run.out;
}

TEST(CommandLine, MissingInputIsNamedAndNothingIsWritten) {
    const fs::path folder = scratchFolder();
    const SampleInputs inputs = writeSampleInputs(folder);
    const fs::path output = folder / "out.nox";
    const std::string missing = (folder / "gone" / "lost-scan.rxp").string();
    const ToolRun run = runTool(
        KS_NOXCONVERT_PATH, {"convert", inputs.stream.string(), missing, "-o", output.string()});
    EXPECT_EQ(run.exitCode, kExitInputMissing) << run.err;
    EXPECT_TRUE(mentions(run.err, missing)) << run.err;
    EXPECT_FALSE(fs::exists(output));

    // A quoted pattern that matches nothing is as missing as a file.
    const std::string pattern = (folder / "*.nothing").string();
    const ToolRun patternRun =
        runTool(KS_NOXCONVERT_PATH, {"convert", pattern, "-o", output.string()});
    EXPECT_EQ(patternRun.exitCode, kExitInputMissing) << patternRun.err;
    EXPECT_TRUE(mentions(patternRun.err, "*.nothing")) << patternRun.err;

    // A refused run leaves no output folder behind either.
    const fs::path newFolder = folder / "not-yet";
    const ToolRun perFile = runTool(
        KS_NOXCONVERT_PATH, {"convert", "--mode", "file", pattern, "-o", newFolder.string()});
    EXPECT_EQ(perFile.exitCode, kExitInputMissing) << perFile.err;
    EXPECT_FALSE(fs::exists(newFolder));
}

TEST(CommandLine, PatternsExpandToTheFilesTheyMatch) {
    const fs::path folder = scratchFolder();
    const SampleInputs inputs = writeSampleInputs(folder);
    const fs::path output = folder / "per-file";
    // Only the point stream and the grid scan match; the project and its data do not.
    const ToolRun run =
        runTool(KS_NOXCONVERT_PATH, {"convert", "--mode", "file", (folder / "*.rxp").string(),
                                     (folder / "*.3dd").string(), "-o", output.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> expected{(output / "room.nox").string(),
                                            (output / "scan.nox").string()};
    EXPECT_EQ(writtenFiles(run.out), expected) << run.out;

    // An output pattern: the "*" stands for each input's name, in a folder made for it.
    const fs::path patterned = folder / "conv" / "conv.*";
    const ToolRun named =
        runTool(KS_NOXCONVERT_PATH, {"convert", "--mode", "file", inputs.stream.string(), "-o",
                                     patterned.string(), "--classification"});
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(writtenFiles(named.out),
              std::vector<std::string>{(folder / "conv" / "conv.scan.nox").string()})
        << named.out;
    // A setting that cannot change these outputs says so.
    EXPECT_TRUE(mentions(named.err, "--classification adds nothing")) << named.err;
}

TEST(CommandLine, UnsupportedInputIsNamedWithItsOwnExitCode) {
    const fs::path folder = scratchFolder();
    const fs::path notes = folder / "notes.txt";
    std::ofstream(notes) << "not a scan\n";
    const ToolRun run =
        runTool(KS_NOXCONVERT_PATH, {"convert", notes.string(), "-o", (folder / "x.nox").string()});
    EXPECT_EQ(run.exitCode, kExitUnsupported) << run.err;
    EXPECT_TRUE(mentions(run.err, "notes.txt")) << run.err;
}

TEST(CommandLine, ReadingSomethingThatIsNoNoxFileFails) {
    const fs::path folder = scratchFolder();
    const fs::path fake = folder / "fake.nox";
    std::ofstream(fake) << "KSNOX but not really";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"info", fake.string()},
          {"export", fake.string(), (folder / "x.xyz").string()},
          {"preview", fake.string(), (folder / "x.png").string()}}) {
        SCOPED_TRACE(arguments[0]);
        const ToolRun run = runTool(KS_NOXCONVERT_PATH, arguments);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(mentions(run.err, "fake.nox")) << run.err;
    }
    EXPECT_FALSE(fs::exists(folder / "x.xyz"));
    EXPECT_FALSE(fs::exists(folder / "x.png"));
}

}  // namespace
}  // namespace ks_test
