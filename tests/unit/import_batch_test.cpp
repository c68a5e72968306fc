#include "ks_formats/import_batch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "handlers/path_buffer.h"

using namespace ks_formats;

namespace {

TEST(ImportBatchDefaults, NewBatchReadsBackEveryDefault) {
    ImportBatch batch(KS_WIDE("tests"));
    EXPECT_FLOAT_EQ(batch.getCompressionTolerance(), 0.001f);
    EXPECT_FLOAT_EQ(batch.getSpatialFiltering(), -1.0f);
    EXPECT_DOUBLE_EQ(batch.getUnitsPerMeter(), 1.0);
    EXPECT_TRUE(batch.getIncludeIntensity());
    EXPECT_TRUE(batch.getIncludeRGB());
    EXPECT_TRUE(batch.getIncludeNormals());
    EXPECT_FALSE(batch.getIncludeClassification());
    EXPECT_FALSE(batch.getGenerateNormals());
    EXPECT_FALSE(batch.getCombineClouds());
    EXPECT_FALSE(batch.getNormalizeIntensities());
    EXPECT_EQ(batch.getMinimumScanToImport(), 16);
    EXPECT_EQ(batch.get8BitColour(), 16);
    EXPECT_EQ(batch.getBatchMode(), BatchModeSingleFile);
    EXPECT_EQ(batch._getFeedbackCount(), 50000u);
    EXPECT_EQ(batch.numImportFiles(), 0);
    EXPECT_EQ(batch.numExportedFiles(), 0);
    EXPECT_EQ(batch.getPointsFilterCallback(), nullptr);
    EXPECT_EQ(batch.getNumScans(), 0);
    EXPECT_FALSE(batch._getCancel());
    EXPECT_EQ(ks_formats::WideString(batch._getRawOutputFilename()), KS_WIDE(""));
    EXPECT_EQ(ks_formats::WideString(batch._getCurrentFilename()), KS_WIDE(""));
    EXPECT_EQ(batch.RSPSettings().getDataSource(), RSPOpt::DataSourceRdb);
    EXPECT_EQ(batch.RSPSettings().getIntensitySource(), RSPOpt::IntensityReflectance);
    EXPECT_DOUBLE_EQ(batch.RSPSettings().getReflectanceScale(), 500.0);
}

TEST(ImportBatchClamps, CompressionToleranceBelowOneMicrometreIsZero) {
    ImportBatch batch(KS_WIDE("tests"));
    batch.useAutoCompressTolerance(true);
    batch.setCompressionTolerance(5e-7f);
    EXPECT_EQ(batch.getCompressionTolerance(), 0.0f);
    EXPECT_FALSE(batch.useAutoCompressTolerance()) << "every call turns the automatic value off";
    batch.setCompressionTolerance(-2.0f);
    EXPECT_EQ(batch.getCompressionTolerance(), 0.0f);
    // The float nearest 1e-6 lies below the double 1e-6.
    batch.setCompressionTolerance(1e-6f);
    EXPECT_EQ(batch.getCompressionTolerance(), 0.0f);
    batch.setCompressionTolerance(2e-6f);
    EXPECT_EQ(batch.getCompressionTolerance(), 2e-6f);
    batch.useAutoCompressTolerance(true);
    EXPECT_EQ(batch.getCompressionTolerance(), 2e-6f) << "the stored value is kept";
    batch.setCompressionTolerance(std::nanf(""));
    EXPECT_TRUE(std::isnan(batch.getCompressionTolerance())) << "only values below 1e-6 clamp";
}

TEST(ImportBatchClamps, UnitsPerMeterFallsBackToOneOutsideItsRange) {
    ImportBatch batch(KS_WIDE("tests"));
    for (double bad : {0.0, -5.0, 1e9}) {
        batch.setUnitsPerMeter(bad);
        EXPECT_DOUBLE_EQ(batch.getUnitsPerMeter(), 1.0) << bad;
    }
    batch.setUnitsPerMeter(0.5);
    EXPECT_DOUBLE_EQ(batch.getUnitsPerMeter(), 0.5);
    batch.setUnitsPerMeter(1000.0);
    EXPECT_DOUBLE_EQ(batch.getUnitsPerMeter(), 1000.0);
}

TEST(ImportBatchAccessors, FeedbackCountOfZeroIsStoredAsOne) {
    ImportBatch batch(KS_WIDE("tests"));
    batch._setFeedbackCount(0);
    EXPECT_EQ(batch._getFeedbackCount(), 1u);
    batch._setFeedbackCount(7);
    EXPECT_EQ(batch._getFeedbackCount(), 7u);
}

TEST(ImportBatchAccessors, ScanInfoByIndexAndIncludedFlags) {
    ImportBatch batch(KS_WIDE("tests"));
    batch.addImportFile(KS_WIDE("/s/a.rxp"));
    batch.addImportFile("/s/b.rxp");
    batch.addImportFile(static_cast<const ks_formats::WideChar*>(nullptr));
    ASSERT_EQ(batch.numImportFiles(), 3);
    auto* info = static_cast<ScanInfo*>(batch._getScanInfo(1));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(ks_formats::WideString(info->getFilename()), KS_WIDE("/s/b.rxp"));
    EXPECT_TRUE(info->getIncluded());
    EXPECT_EQ(*info->getMatrix(), Matrix4d::identity());
    EXPECT_EQ(ks_formats::WideString(batch.getImportFilename(2)), KS_WIDE(""));
    EXPECT_EQ(batch._getScanInfo(3), nullptr);
    EXPECT_EQ(batch._getScanInfo(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(batch.getImportFilename(-1), nullptr);
    EXPECT_EQ(batch.getImportFilename(3), nullptr);

    batch.setIncludeFile(0, false);
    batch.setIncludeFile(3, false);
    batch.setIncludeFile(-1, false);
    EXPECT_FALSE(batch.getIncludeFile(0));
    EXPECT_TRUE(batch.getIncludeFile(1));
    EXPECT_FALSE(batch.getIncludeFile(3));
}

TEST(ImportBatchCopies, CopiesOwnTheirListsAndSettings) {
    auto source = std::make_unique<ImportBatch>(KS_WIDE("tests"));
    source->addImportFile(KS_WIDE("/s/a.rxp"));
    source->setBatchMode(BatchModePerFile);
    source->setUnitsPerMeter(100.0);
    source->genericAsciiSettings().setXYZColumns(4);
    source->RSPSettings().setReflectanceScale(2.5);
    source->setOutputFilename(KS_WIDE("/out/site.nox"));
    source->_setFeedbackCount(7);
    source->_setCancel(true);

    ImportBatch copy(*source);
    copy.addImportFile(KS_WIDE("/s/b.rxp"));
    EXPECT_EQ(source->numImportFiles(), 1);
    EXPECT_EQ(copy.numImportFiles(), 2);
    EXPECT_EQ(copy.getBatchMode(), BatchModePerFile);
    EXPECT_DOUBLE_EQ(copy.getUnitsPerMeter(), 100.0);
    EXPECT_EQ(copy.genericAsciiSettings().columns[GenericAsciiOpt::ColumnZ], 6);
    EXPECT_DOUBLE_EQ(copy.RSPSettings().getReflectanceScale(), 2.5);
    EXPECT_EQ(ks_formats::WideString(copy._getRawOutputFilename()), KS_WIDE("/out/site.nox"));
    EXPECT_EQ(copy._getFeedbackCount(), 7u);
    EXPECT_TRUE(copy._getCancel());
    copy._setCancel(false);
    EXPECT_TRUE(source->_getCancel()) << "each copy has its own flag";

    ImportBatch assigned(KS_WIDE("other"));
    assigned.addImportFile(KS_WIDE("/x/old.rxp"));
    assigned._setCancel(true);
    assigned = copy;
    EXPECT_EQ(assigned.numImportFiles(), 2);
    EXPECT_EQ(ks_formats::WideString(assigned.getImportFilename(0)), KS_WIDE("/s/a.rxp"));
    EXPECT_FALSE(assigned._getCancel());
    assigned = assigned;
    EXPECT_EQ(assigned.numImportFiles(), 2);

    source.reset();
    EXPECT_EQ(ks_formats::WideString(copy.getImportFilename(0)), KS_WIDE("/s/a.rxp"));
    copy.removeImportFiles();
    EXPECT_EQ(assigned.numImportFiles(), 2);
}

TEST(ImportBatchInitialize, ClearsCountersAndCancelButNoSetting) {
    ImportBatch batch(KS_WIDE("tests"));
    batch.setNumScans(4);
    batch._setCancel(true);
    batch._setTotalProgressPercentage(40);
    batch.setCompressionTolerance(0.01f);
    EXPECT_TRUE(batch._initializeConvert());
    EXPECT_EQ(batch.getNumScans(), 0);
    EXPECT_FALSE(batch._getCancel());
    EXPECT_EQ(batch._getTotalProgressPercentage(), 0);
    EXPECT_FLOAT_EQ(batch.getCompressionTolerance(), 0.01f);
}

TEST(ImportBatchNames, LongNamesAreCutAt511UnitsWithoutSplittingAPair) {
    ImportBatch batch(KS_WIDE("tests"));
    ks_formats::WideString longName(600, KS_WIDE('a'));
    batch._setCurrentFilename(longName.c_str());
    EXPECT_EQ(ks_formats::WideString(batch._getCurrentFilename()),
              ks_formats::WideString(511, KS_WIDE('a')));

    // A surrogate pair straddling the cut is dropped whole.
    ks_formats::WideString pair(510, KS_WIDE('b'));
    pair += KS_WIDE("\U0001F600tail");
    batch._setCurrentOutputFilename(pair.c_str());
    EXPECT_EQ(ks_formats::WideString(batch._getCurrentOutputFilename()),
              ks_formats::WideString(510, KS_WIDE('b')));

    batch._setCurrentFilename(nullptr);
    EXPECT_EQ(ks_formats::WideString(batch._getCurrentFilename()), KS_WIDE(""));
}

TEST(OptionRecords, GenericAsciiSettersAndReset) {
    GenericAsciiOpt options;
    options.setXYZColumns(4);
    options.setNormalXColumns(10);
    options.setIntensityColumn(7, 0.5f, 2.0f);
    options.setRGBColumns(1, 3.0f, 4.0f);
    options.setClassificationColumn(9);
    options.setYColumn(40);
    const int expected[11] = {4, 40, 6, 10, 11, 12, 7, 1, 2, 3, 9};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(options.columns[i], expected[i]) << i;
    for (int i = 11; i < 16; ++i) EXPECT_EQ(options.columns[i], 500) << "no setter reaches " << i;
    EXPECT_FLOAT_EQ(options.intensityLow, 0.5f);
    EXPECT_FLOAT_EQ(options.intensityHigh, 2.0f);
    EXPECT_FLOAT_EQ(options.rgbLow, 3.0f);
    EXPECT_FLOAT_EQ(options.rgbHigh, 4.0f);

    options.reset();
    for (int column : options.columns) EXPECT_EQ(column, 500);
    EXPECT_FLOAT_EQ(options.intensityHigh, 1.0f);
    EXPECT_FLOAT_EQ(options.rgbHigh, 255.0f);
}

TEST(ScanInfoTest, DefaultsNamesAndOrder) {
    ScanInfo info;
    EXPECT_EQ(ks_formats::WideString(info.getFilename()), KS_WIDE(""));
    EXPECT_EQ(*info.getMatrix(), Matrix4d::identity());
    EXPECT_FALSE(info.getIncluded());

    info.setFilename(KS_WIDE("/a/b.rxp"));
    info.setFilename(static_cast<const ks_formats::WideChar*>(nullptr));
    EXPECT_EQ(ks_formats::WideString(info.getFilename()), KS_WIDE("/a/b.rxp"));
    info.setFilename("/a/\xE9.rxp");  // not UTF-8: Latin-1 character
    EXPECT_EQ(ks_formats::WideString(info.getFilename()), KS_WIDE("/a/\u00e9.rxp"));
    info.setFilename("");
    EXPECT_EQ(ks_formats::WideString(info.getFilename()), KS_WIDE(""));

    Matrix4d m = Matrix4d::identity();
    m(0, 3) = 10.0;
    info.setMatrix(m);
    EXPECT_DOUBLE_EQ(info.getMatrix()->m[3], 10.0);

    ScanInfo upper, lower, prefix;
    upper.setFilename(KS_WIDE("B"));
    lower.setFilename(KS_WIDE("a"));
    prefix.setFilename(KS_WIDE("Bx"));
    EXPECT_TRUE(upper < lower) << "ordinal order: upper case first";
    EXPECT_TRUE(upper < prefix) << "a proper prefix orders first";
    EXPECT_FALSE(lower < upper);
}

TEST(PathBufferTest, DefaultTextAndSafeCopies) {
    EXPECT_EQ(ks_formats::WideString(PathBuffer().c_str()), KS_WIDE("(empty)"));
    ks_formats::WideString longPath(700, KS_WIDE('x'));
    PathBuffer buffer(longPath.c_str());
    EXPECT_EQ(ks_formats::WideString(buffer.c_str()).size(), 511u);
    PathBuffer other(KS_WIDE("/a"));
    other = buffer;
    EXPECT_EQ(ks_formats::WideString(other.c_str()), ks_formats::WideString(buffer.c_str()));
}

}  // namespace
