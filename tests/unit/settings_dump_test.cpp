#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ks_formats/import_batch.h"
#include "support/file_bytes.h"
#include "support/scratch_folder.h"
#include "support/test_system.h"

namespace fs = std::filesystem;
using ks_formats::ImportBatch;

namespace {

// Everything after the lists, for a batch with default settings.
const std::string kDefaultSettings =
    "getBatchMode()\t\t\t3\r\n"
    "getMinimumScanToImport()\t\t\t16\r\n"
    "getCombineClouds()\t\t\t0\r\n"
    "getCompressionTolerance()\t\t0.001\r\n"
    "getGenerateNormals()\t\t\t0\r\n"
    "getIncludeIntensity()\t\t\t1\r\n"
    "getIncludeRGB()\t\t\t1\r\n"
    "getNormalizeIntensities()0\r\n"
    "getSpatialFiltering()-1\r\n"
    "getUnitsPerMeter()1\r\n"
    "getNumScans()0\r\n";

}  // namespace

TEST(SettingsDump, NewBatchExactBytes) {
    const fs::path file = ks_test::scratchFolder() / "batch.txt";
    std::ofstream(file) << std::string(5000, 'z');  // an existing longer file is replaced
    ImportBatch batch(KS_WIDE("test"));
    EXPECT_TRUE(batch._write(file.string().c_str(), nullptr));
    EXPECT_EQ(ks_test::readText(file),
              "numImportFiles()\t\t\t0\r\n"
              "numExportedFiles()\t\t\t0\r\n" +
                  kDefaultSettings);
}

TEST(SettingsDump, HeaderFilesAndChangedSettings) {
    const fs::path file = ks_test::scratchFolder() / "batch.txt";
    ImportBatch batch(KS_WIDE("test"));
    batch.addImportFile("/in/b.rxp");
    // é is written as the one byte 0xE9, whatever the host's narrow text
    batch.addImportFile(ks_test::hostNarrow("/in/a\xC3\xA9.rxp").c_str());
    batch._addExportedFile(KS_WIDE("/out/merged.nox"));
    batch.setBatchMode(ks_formats::BatchModePerScan);
    batch.setMinimumScanToImport(-2);
    batch.setCombineClouds(true);
    batch.setCompressionTolerance(0.25f);
    batch.setGenerateNormals(true);
    batch.includeIntensity(false);
    batch.includeRGB(false);
    batch.setNormalizeIntensities(true);
    batch.setSpatialFiltering(1234567.0f);
    batch.setUnitsPerMeter(1000.0);
    batch.setNumScans(42);

    EXPECT_TRUE(batch._write(file.string().c_str(), KS_WIDE("Batch A")));
    EXPECT_EQ(ks_test::readText(file),
              "Batch A\r\n"
              "\r\n"
              "numImportFiles()\t\t\t2\r\n"
              "\tFile: /in/b.rxp\r\n"
              "\tFile: /in/a\xE9.rxp\r\n"
              "numExportedFiles()\t\t\t1\r\n"
              "\tFile: /out/merged.nox\r\n"
              "getBatchMode()\t\t\t1\r\n"
              "getMinimumScanToImport()\t\t\t-2\r\n"
              "getCombineClouds()\t\t\t1\r\n"
              "getCompressionTolerance()\t\t0.25\r\n"
              "getGenerateNormals()\t\t\t1\r\n"
              "getIncludeIntensity()\t\t\t0\r\n"
              "getIncludeRGB()\t\t\t0\r\n"
              "getNormalizeIntensities()1\r\n"
              "getSpatialFiltering()1.23457e+06\r\n"
              "getUnitsPerMeter()1000\r\n"
              "getNumScans()42\r\n");
}

TEST(SettingsDump, CharacterAboveLatin1StopsTheListing) {
    const fs::path file = ks_test::scratchFolder() / "batch.txt";
    ImportBatch batch(KS_WIDE("test"));
    batch.addImportFile("/in/a.rxp");
    batch.addImportFile(KS_WIDE("/in/\u4E2D.rxp"));
    EXPECT_FALSE(batch._write(file.string().c_str(), KS_WIDE("H")));
    EXPECT_EQ(ks_test::readText(file),
              "H\r\n\r\n"
              "numImportFiles()\t\t\t2\r\n"
              "\tFile: /in/a.rxp\r\n"
              "\tFile: /in/");

    // In the header nothing after it is written at all.
    EXPECT_FALSE(ImportBatch(KS_WIDE("test"))._write(file.string().c_str(), KS_WIDE("x\u0100y")));
    EXPECT_EQ(ks_test::readText(file), "x");
}

TEST(SettingsDump, NoFileNameOrUnwritableFile) {
    const fs::path dir = ks_test::scratchFolder();
    ImportBatch batch(KS_WIDE("test"));
    EXPECT_FALSE(batch._write(nullptr, KS_WIDE("header")));
    EXPECT_FALSE(batch._write((dir / "missing" / "batch.txt").string().c_str(), nullptr));
    EXPECT_FALSE(batch._write(dir.string().c_str(), nullptr));  // a folder, not a file
    EXPECT_TRUE(fs::is_empty(dir));
}
