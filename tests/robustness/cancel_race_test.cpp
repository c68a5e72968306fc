// Cancels from another thread at random moments of conversions in every batch mode: each ends
// as converted or cancelled, and every file it leaves or records is a complete NOX file. Built
// under the thread sanitizer too, where it checks the cancel path for data races.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "support/library_session.h"
#include "support/scratch_folder.h"
#include "support/shipped_conversion.h"
#include "support/shipped_nox.h"

using namespace ks_formats;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

TEST(CancelRace, CancelAtRandomMomentsLeavesOnlyCompleteFilesInEveryMode) {
    ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
    const fs::path dir = ks_test::scratchFolder();
    ks_sampledata::SyntheticStream stream;
    stream.pointCount = 60'000;
    stream.framePoints = 5'000;
    ks_sampledata::writeSyntheticStream(dir / "a.rxp", stream);
    ks_sampledata::writeSyntheticStream(dir / "b.rxp", stream);
    ks_sampledata::SyntheticGrid grid;
    grid.rows = 200;
    grid.columns = 300;
    ks_sampledata::writeSyntheticGrid(dir / "c.3dd", grid);
    const std::vector<fs::path> inputs = {dir / "a.rxp", dir / "b.rxp", dir / "c.3dd"};

    std::mt19937 random(20261208);
    int cancelled = 0, runs = 0;
    for (const BatchMode mode : {BatchModePerScan, BatchModePerFile, BatchModeSingleFile}) {
        const fs::path out = dir / ("out" + std::to_string(mode));
        const fs::path output = mode == BatchModeSingleFile ? out / "all.nox" : out;
        // How long an undisturbed conversion takes sets the range of cancel moments.
        fs::create_directories(out);
        const auto start = Clock::now();
        ASSERT_EQ(ks_test::convertWithShippedWriter({inputs, output, mode, true, 500}).result,
                  ResultSuccess);
        const auto span =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);

        for (int round = 0; round < 8; ++round, ++runs) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", round " + std::to_string(round));
            fs::remove_all(out);
            fs::create_directories(out);
            ks_test::ShippedBatch batch({inputs, output, mode, true, 500});
            const auto delay = std::chrono::microseconds(random() % (span.count() + 1));
            std::thread canceller([&batch, delay] {
                std::this_thread::sleep_for(delay);
                CancelBatchToNOX(&batch.batch());
            });
            const ks_test::ShippedConversion result = batch.run();
            canceller.join();

            EXPECT_TRUE(result.result == ResultSuccess || result.result == ResultCancelled)
                << result.result;
            if (result.result == ResultCancelled) ++cancelled;
            for (const std::string& file : result.files)
                EXPECT_TRUE(ks_test::opensInViewer(file)) << "recorded but not complete: " << file;
            for (const auto& entry : fs::recursive_directory_iterator(out)) {
                EXPECT_EQ(entry.path().extension(), ".nox") << "left behind: " << entry.path();
                EXPECT_TRUE(ks_test::opensInViewer(entry.path())) << "incomplete: " << entry.path();
            }
        }
    }
    std::cout << runs << " conversions, " << cancelled << " cancelled\n";
    EXPECT_GT(cancelled, 0) << "no cancel landed inside a conversion";
}

}  // namespace
