// Hundreds of conversions in one process, in every batch mode, with cancels and failing inputs
// mixed in: what a host that runs for days does. Open file descriptors must not grow, nor must
// resident memory beyond a small margin once the first conversions have warmed the allocator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <thread>

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "support/file_bytes.h"
#include "support/library_session.h"
#include "support/scratch_folder.h"
#include "support/shipped_conversion.h"
#include "support/shipped_nox.h"

using namespace ks_formats;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

size_t openDescriptors() {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count - 1;  // the listing's own descriptor
}

double residentMiB() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

TEST(Soak, HundredsOfConversionsKeepDescriptorsAndMemoryFlat) {
    ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
    const fs::path dir = ks_test::scratchFolder();
    ks_sampledata::SyntheticStream stream;
    stream.pointCount = 4'000;
    ks_sampledata::writeSyntheticStream(dir / "a.rxp", stream);
    ks_sampledata::writeSyntheticStream(dir / "b.rxp", stream);
    ks_sampledata::SyntheticGrid grid;
    grid.rows = 40;
    grid.columns = 60;
    ks_sampledata::writeSyntheticGrid(dir / "c.3dd", grid);
    // A stream cut in the middle of its records, and a file that is not there: failures.
    std::vector<uint8_t> bytes = ks_test::readBytes(dir / "a.rxp");
    bytes.resize(1000);
    ks_test::writeBytes(dir / "cut.rxp", bytes);
    const std::vector<fs::path> good = {dir / "a.rxp", dir / "b.rxp", dir / "c.3dd"};
    const std::vector<fs::path> withFailures = {dir / "a.rxp", dir / "cut.rxp", dir / "gone.rxp",
                                                dir / "c.3dd"};

    constexpr int kRounds = 300, kWarmUp = 30;
    std::mt19937 random(20261209);
    size_t descriptorsAfterWarmUp = 0;
    double residentAfterWarmUp = 0, residentPeak = 0;
    int converted = 0, cancelled = 0, failed = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const BatchMode mode = static_cast<BatchMode>(1 + round % 3);
        const fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        const bool failing = round % 5 == 1;
        ks_test::ShippedBatch batch({failing ? withFailures : good,
                                     mode == BatchModeSingleFile ? out / "all.nox" : out, mode,
                                     true, 500});
        std::thread canceller;
        if (round % 4 == 3) {
            const auto delay = std::chrono::microseconds(random() % 3000);
            canceller = std::thread([&batch, delay] {
                std::this_thread::sleep_for(delay);
                CancelBatchToNOX(&batch.batch());
            });
        }
        const ks_test::ShippedConversion result = batch.run();
        if (canceller.joinable()) canceller.join();
        if (result.result == ResultSuccess) ++converted;
        if (result.result == ResultCancelled) ++cancelled;
        if (!result.errors.empty()) ++failed;
        if (failing && result.result != ResultCancelled) {
            EXPECT_FALSE(result.errors.empty()) << "the damaged and missing inputs went unreported";
        }
        for (const auto& entry : fs::directory_iterator(out))
            EXPECT_EQ(entry.path().extension(), ".nox") << "left behind: " << entry.path();

        if (round + 1 == kWarmUp) {
            descriptorsAfterWarmUp = openDescriptors();
            residentAfterWarmUp = residentMiB();
        }
        if (round + 1 >= kWarmUp) residentPeak = std::max(residentPeak, residentMiB());
    }
    const size_t descriptors = openDescriptors();
    const double resident = residentMiB();
    std::cout << kRounds << " conversions (" << converted << " converted, " << cancelled
              << " cancelled, " << failed << " with failures reported): open descriptors "
              << descriptorsAfterWarmUp << " after " << kWarmUp << ", " << descriptors
              << " at the end; resident " << residentAfterWarmUp << " MiB after " << kWarmUp << ", "
              << resident << " MiB at the end, peak " << residentPeak << " MiB\n";
    EXPECT_EQ(descriptors, descriptorsAfterWarmUp);
    EXPECT_GT(converted, 0);
    EXPECT_GT(failed, 0);
    // Sanitizers keep freed memory in quarantine for a while: there the leak check at exit
    // stands for this.
    if (!kSanitized) {
        EXPECT_LT(resident - residentAfterWarmUp, 8.0) << "resident memory grew";
    }
}

}  // namespace
