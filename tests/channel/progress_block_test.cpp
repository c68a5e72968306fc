// The progress channel against a real shared block, created here as the monitor creates it.
#include <gtest/gtest.h>

#include <cstring>

#include "batch/progress_channel.h"
#include "ks_common/shared_memory.h"
#include "ks_formats/import_batch.h"
#include "support/recording_feedback.h"

using namespace ks_formats;
namespace platform = ks_common;

namespace {

const std::string kBlock = ProgressChannel::kBlockName;
const std::string kEvent = kBlock + "Event";

// Plays the monitor: creates the block and a quiet event, removes both afterwards.
class MonitorSide : public ::testing::Test {
protected:
    ks_common::SharedMemory block;
    ks_common::MappedView view;
    ks_common::NamedEvent event;

    void SetUp() override {
        ks_common::SharedMemory::remove(kBlock);
        ks_common::NamedEvent::remove(kEvent);
        block = ks_common::SharedMemory::create(kBlock, ProgressChannel::kBlockSize);
        ASSERT_TRUE(block.isValid());
        view = ks_common::MappedView::map(block, ProgressChannel::kBlockSize);
        ASSERT_TRUE(view.isValid());
        std::memset(view.data(), 0xAB, view.size());
        event = ks_common::NamedEvent::openOrCreate(kEvent, false);
        ASSERT_TRUE(event.isValid());
    }
    void TearDown() override {
        ks_common::SharedMemory::remove(kBlock);
        ks_common::NamedEvent::remove(kEvent);
    }
    std::string bytes(size_t count) const {
        return std::string(reinterpret_cast<const char*>(view.data()), count);
    }
    static std::string utf16le(const std::string& ascii) {
        std::string out;
        for (char c : ascii) {
            out.push_back(c);
            out.push_back('\0');
        }
        return out;
    }
};

TEST_F(MonitorSide, RecordIsUtf16LeAtOffsetZeroWithoutTerminatorAndSignalsTheEvent) {
    ImportBatch batch(KS_WIDE("tests"));
    batch._setCurrentFilename(KS_WIDE("/a.rxp"));
    batch._setReadPhasePercentagePerFile(33);
    batch._progress(50);  // overall 16

    // "/a.rxp|16|50|0|2" is 16 units, 32 bytes; the block's byte after it is untouched.
    EXPECT_EQ(bytes(32), utf16le("/a.rxp|16|50|0|2"));
    EXPECT_EQ(view.data()[32], 0xAB);
    EXPECT_TRUE(event.wait(2000)) << "the event is signalled after the record";
}

TEST_F(MonitorSide, EighteenUnitRecordIsThirtySixBytesAndAShorterOneLeavesTheTail) {
    ImportBatch batch(KS_WIDE("tests"));
    batch._setCurrentFilename(KS_WIDE("C:\\a.rxp"));  // an ordinary file name on Linux
    batch._setReadPhasePercentagePerFile(33);
    batch._progress(50);
    EXPECT_EQ(bytes(38), utf16le("C:\\a.rxp|16|50|0|2") + "\xAB\xAB");

    batch._setCurrentFilename(KS_WIDE("/b"));
    batch._progressWrite(7);
    // "/b|33|7|0|3" is 11 units; units 11 to 17 of the earlier record ("|50|0|2") stay behind it.
    EXPECT_EQ(bytes(38), utf16le("/b|33|7|0|3") + utf16le("|50|0|2") + "\xAB\xAB");
}

TEST_F(MonitorSide, WritePhaseRecordCarriesTheImportNameWhileFeedbackGetsTheOutputName) {
    ks_test::RecordingFeedback feedback;
    ImportBatch batch(KS_WIDE("tests"));
    batch.setFeedbackObject(&feedback);
    batch._setCurrentFilename(KS_WIDE("/in.rxp"));
    batch._setCurrentOutputFilename(KS_WIDE("/out.nox"));
    batch._setTotalProgressPercentage(70);
    batch._progressWrite(100);
    EXPECT_EQ(bytes(36), utf16le("/in.rxp|70|100|0|3"));
    ASSERT_EQ(feedback.progress.size(), 1u);
    EXPECT_EQ(feedback.progress[0].name, KS_WIDE("/out.nox"));
}

TEST_F(MonitorSide, DirectProgressAndErrorsNeverTouchTheBlock) {
    ks_test::RecordingFeedback feedback;
    ImportBatch batch(KS_WIDE("tests"));
    batch.setFeedbackObject(&feedback);
    batch._progressDirect(KS_WIDE("/x"), 1, 2, 3);
    batch._progressWriteDirect(KS_WIDE("/x"), 1, 2, 3);
    batch._error(ResultFailed, PhaseRead);
    EXPECT_EQ(view.data()[0], 0xAB);
    EXPECT_FALSE(event.wait(50));
    EXPECT_EQ(feedback.progress.size(), 2u);
}

TEST_F(MonitorSide, NonAsciiNamesAreWrittenAsTheirCodeUnits) {
    ImportBatch batch(KS_WIDE("tests"));
    batch._setCurrentFilename(KS_WIDE("\u4e2d\U0001F600"));
    batch._progress(0);
    const unsigned char expected[] = {0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, '|', 0};
    EXPECT_EQ(std::memcmp(view.data(), expected, sizeof expected), 0);
}

// A monitor closed and started again makes a new block under the same name: batches made after
// that write into the new one, not into the block the first monitor removed.
TEST_F(MonitorSide, ARestartedMonitorGetsTheRecordsOfLaterBatches) {
    {
        ImportBatch before(KS_WIDE("tests"));
        before._setCurrentFilename(KS_WIDE("/a.rxp"));
        before._progress(0);
    }
    ASSERT_EQ(bytes(2), utf16le("/"));
    TearDown();
    SetUp();  // the second monitor's block, filled with 0xAB again
    ImportBatch after(KS_WIDE("tests"));
    after._setCurrentFilename(KS_WIDE("/b.rxp"));
    after._progress(0);
    EXPECT_EQ(bytes(14), utf16le("/b.rxp|"));
}

TEST(NoMonitor, ProgressStillReachesFeedbackAndNothingFails) {
    ks_common::SharedMemory::remove(kBlock);
    ks_test::RecordingFeedback feedback;
    ImportBatch batch(KS_WIDE("tests"));
    batch.setFeedbackObject(&feedback);
    batch._setCurrentFilename(KS_WIDE("/a.rxp"));
    batch._progress(10);
    batch._progressWrite(10);
    EXPECT_EQ(feedback.progress.size(), 2u);
    EXPECT_FALSE(ks_common::SharedMemory::openExisting(kBlock).isValid())
        << "the library never creates the block";
}

TEST(NoMonitor, BlockTooSmallIsNeverMapped) {
    ks_common::SharedMemory::remove(kBlock);
    ks_common::SharedMemory small = ks_common::SharedMemory::create(kBlock, 16);
    ASSERT_TRUE(small.isValid());
    ImportBatch batch(KS_WIDE("tests"));
    batch._setCurrentFilename(KS_WIDE("/a.rxp"));
    batch._progress(10);  // must not fault on the missing bytes
    ks_common::SharedMemory::remove(kBlock);
    SUCCEED();
}

}  // namespace
