// noxmonitor and a converting host, driven together through the real shared block.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "batch/progress_channel.h"
#include "ks_common/shared_memory.h"
#include "ks_formats/import_batch.h"

using namespace ks_formats;

namespace {

bool waitForBlock() {
    for (int i = 0; i < 200; ++i) {
        if (ks_common::SharedMemory::openExisting(ProgressChannel::kBlockName).isValid())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

TEST(NoxMonitor, PrintsEachRecordAsItArrivesAndRemovesTheBlockWhenDone) {
    ks_common::SharedMemory::remove(ProgressChannel::kBlockName);
    const std::string command = std::string(KS_NOXMONITOR_PATH) + " --count 3 --timeout 20";
    FILE* monitor = popen(command.c_str(), "r");
    ASSERT_NE(monitor, nullptr);
    ASSERT_TRUE(waitForBlock());

    {
        ImportBatch batch(KS_WIDE("tests"));  // opens the block the monitor created
        batch._setReadPhasePercentagePerFile(50);
        batch._setCurrentFilename(KS_WIDE("/scans/\u00e9cole.rxp"));
        batch._progress(50);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        batch._setCurrentFileIndex(1);
        batch._setTotalProgressPercentage(50);
        batch._setCurrentFilename(KS_WIDE("/b.rxp"));
        batch._progress(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        batch._progressWrite(100);
    }

    std::string output;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, monitor)) output += buffer;
    EXPECT_EQ(pclose(monitor), 0);

    EXPECT_NE(output.find("/scans/\xC3\xA9"
                          "cole.rxp\toverall 25%\tfile 50%\tindex 0\tphase 2\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("/b.rxp\toverall 100%\tfile 100%\tindex 1\tphase 2\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("/b.rxp\toverall 100%\tfile 100%\tindex 1\tphase 3\n"), std::string::npos)
        << output;
    EXPECT_FALSE(ks_common::SharedMemory::openExisting(ProgressChannel::kBlockName).isValid())
        << "the monitor removes the block it created";
}

}  // namespace
