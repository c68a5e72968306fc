#include "ks_common/progress_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

using namespace ks_common;

namespace {

TEST(ProgressRecordText, FormatsSignedDecimalFieldsSeparatedByBars) {
    EXPECT_EQ(formatProgressRecord(KS_WIDE("C:\\a.rxp"), 16, 50, 0, 2),
              KS_WIDE("C:\\a.rxp|16|50|0|2"));
    EXPECT_EQ(formatProgressRecord(nullptr, -1, 100, 12, 3), KS_WIDE("|-1|100|12|3"));
}

TEST(ProgressRecordText, ParsesWhatItFormatsAndIgnoresWhatFollows) {
    ProgressRecord record;
    ASSERT_TRUE(parseProgressRecord(KS_WIDE("/d/a|b.rxp|16|50|4|2"), record));
    EXPECT_EQ(record.fileName, KS_WIDE("/d/a|b.rxp")) << "a bar inside the name is kept";
    EXPECT_EQ(record.overall, 16);
    EXPECT_EQ(record.filePercent, 50);
    EXPECT_EQ(record.fileIndex, 4);
    EXPECT_EQ(record.phase, 2);

    const ks_formats::WideChar withTail[] = KS_WIDE("/x|1|2|3|3\0|50|0|2");
    ASSERT_TRUE(parseProgressRecord(
        std::basic_string_view<ks_formats::WideChar>(withTail, sizeof withTail / 2 - 1), record));
    EXPECT_EQ(record.fileName, KS_WIDE("/x"));
    EXPECT_EQ(record.phase, 3);

    ASSERT_TRUE(parseProgressRecord(KS_WIDE("|-1|0|0|2"), record));
    EXPECT_EQ(record.overall, -1);
}

TEST(ProgressRecordText, RefusesTextThatHoldsNoRecord) {
    ProgressRecord record;
    for (std::basic_string_view<ks_formats::WideChar> bad :
         {KS_WIDE(""), KS_WIDE("/a.rxp"), KS_WIDE("/a|1|2|3"), KS_WIDE("/a|1|2|x|4"),
          KS_WIDE("|||||")})
        EXPECT_FALSE(parseProgressRecord(bad, record)) << std::string(bad.begin(), bad.end());
    const ks_formats::WideChar zeros[8] = {};
    EXPECT_FALSE(
        parseProgressRecord(std::basic_string_view<ks_formats::WideChar>(zeros, 8), record));
}

}  // namespace

namespace {

TEST(ProgressRecordBlock, UnitsTravelLittleEndianAndAreCutToTheBlock) {
    unsigned char block[12] = {};
    storeProgressRecord(KS_WIDE("\u00e9\u4e2d|1|2"), block, sizeof block);
    EXPECT_EQ(block[0], 0xE9);
    EXPECT_EQ(block[1], 0x00);
    EXPECT_EQ(block[2], 0x2D);
    EXPECT_EQ(block[3], 0x4E);
    EXPECT_EQ(loadBlockUnits(block, sizeof block), KS_WIDE("\u00e9\u4e2d|1|2\0"));

    // Six units fit into twelve bytes; the rest of a longer record is never written.
    unsigned char small[13];
    std::fill(std::begin(small), std::end(small), 0xAA);
    storeProgressRecord(KS_WIDE("abcdefgh"), small, 12);
    EXPECT_EQ(loadBlockUnits(small, 12), KS_WIDE("abcdef"));
    EXPECT_EQ(small[12], 0xAA);
}

}  // namespace
