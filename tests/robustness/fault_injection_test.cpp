// Output that cannot be written: a folder that is not one, and a disk that fills up while the
// file is built. In every batch mode the failure reaches Feedback, and nothing incomplete is
// left under an output name or recorded as written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

#include "ks_sampledata/point_stream.h"
#include "support/library_session.h"
#include "support/scratch_folder.h"
#include "support/shipped_conversion.h"

using namespace ks_formats;
namespace fs = std::filesystem;

namespace {

constexpr BatchMode kModes[] = {BatchModePerScan, BatchModePerFile, BatchModeSingleFile};

class FaultInjection : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
        // The suite's own folder: one input for each process that sets the suite up.
        input = ks_test::scratchFolder() / "scan.rxp";
        ks_sampledata::SyntheticStream stream;
        stream.pointCount = 400'000;  // about a megabyte of NOX
        ks_sampledata::writeSyntheticStream(input, stream);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(input.parent_path(), ignored);
    }
    void SetUp() override { out = ks_test::scratchFolder(); }
    static fs::path outputFor(const fs::path& folder, BatchMode mode) {
        return mode == BatchModeSingleFile ? folder / "all.nox" : folder;
    }
    // Every regular file below the folder; the tests expect none.
    static std::vector<fs::path> filesBelow(const fs::path& folder) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) found.push_back(entry.path());
        return found;
    }

    static inline fs::path input;
    fs::path out;
};

void expectReportedFailureAndNothingWritten(const ks_test::ShippedConversion& result) {
    EXPECT_FALSE(result.errors.empty()) << "the failure never reached Feedback";
    for (const auto& error : result.errors) EXPECT_NE(error.result, ResultSuccess);
    EXPECT_TRUE(result.files.empty()) << "recorded as written: " << result.files.front();
}

TEST_F(FaultInjection, OutputFolderThatIsAFileFailsInEveryMode) {
    {
        std::FILE* blocker = std::fopen((out / "blocker").c_str(), "w");
        ASSERT_TRUE(blocker);
        std::fclose(blocker);
    }
    for (const BatchMode mode : kModes) {
        SCOPED_TRACE(mode);
        const ks_test::ShippedConversion result =
            ks_test::convertWithShippedWriter({{input}, outputFor(out / "blocker", mode), mode});
        expectReportedFailureAndNothingWritten(result);
        EXPECT_EQ(filesBelow(out), std::vector<fs::path>{out / "blocker"});
    }
}

// Runs in a death-test child: converts with every file limited to 256 KiB and exits 0 when the
// failure was reported and nothing was recorded as written.
[[noreturn]] void convertUnderFileSizeLimit(const fs::path& output, BatchMode mode,
                                            const fs::path& input) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const ks_test::ShippedConversion result =
        ks_test::convertWithShippedWriter({{input}, output, mode});
    const bool reported = !result.errors.empty();
    const bool recorded = !result.files.empty();
    std::fprintf(stderr, "reported %d recorded %d result %d\n", reported, recorded, result.result);
    std::_Exit(reported && !recorded ? 0 : 1);
}

// The limit applies to every file the process writes, so it runs in a child of its own; the
// child ignores SIGXFSZ, so a write past the limit fails with EFBIG instead of killing it.
TEST_F(FaultInjection, DiskFullWhileBuildingFailsCleanlyInEveryMode) {
    for (const BatchMode mode : kModes) {
        SCOPED_TRACE(mode);
        const fs::path folder = out / std::to_string(mode);
        fs::create_directories(folder);
        EXPECT_EXIT(convertUnderFileSizeLimit(outputFor(folder, mode), mode, input),
                    ::testing::ExitedWithCode(0), "reported 1 recorded 0");
        EXPECT_EQ(filesBelow(folder), std::vector<fs::path>{}) << "a file is left behind";
    }
}

}  // namespace
