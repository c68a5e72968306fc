#include <gtest/gtest.h>

#include <string>

#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"

using ks_common::fromUtf8;
using ks_common::toUtf8;
using ks_formats::BatchMode;
using ks_formats::ImportBatch;

namespace {

struct NamingCase {
    const char* output;
    int mode;
    int index;
    const char* expected;
};

std::string outputName(const char* output, int mode, const char* input, int index) {
    ImportBatch batch(KS_WIDE("test"));
    batch.setOutputFilename(output);
    batch.setBatchMode(static_cast<BatchMode>(mode));
    return toUtf8(batch._getOutputFilename(fromUtf8(input).c_str(), index));
}

}  // namespace

TEST(OutputNaming, OutputNameByRawNameModeAndIndex) {
    const NamingCase cases[] = {
        {"/out", 2, -1, "/out/scan1.nox"},
        {"/out/", 2, -1, "/out//scan1.nox"},
        {"/out/merged.nox", 2, -1, "/out/merged_scan1.nox"},
        {"/out/merged.nox", 3, -1, "/out/merged.nox"},
        {"/out/merged.nox", 1, 4, "/out/merged_scan1_4.nox"},
        {"/out/merged.nox", 1, 0, "/out/merged_scan1_0.nox"},
        {"/out/merged.nox", 1, -1, "/out/merged_scan1.nox"},
        {"/out/merged.nox", 2, 4, "/out/merged_scan1.nox"},
        {"/out/merged.nox", 3, 4, "/out/merged.nox"},
        {"/out/merged.nox", 0, 4, "/out/merged_scan1.nox"},
        {"/out/conv.*", 2, -1, "/out/conv.scan1.nox"},
        {"/out/*.nox", 2, -1, "/out/scan1.nox.nox"},
        {"/out/a*b.nox", 1, 2, "/out/ascan1b.nox_2.nox"},
        {"/out/*.nox", 3, -1, "/out/.nox.nox"},
        {"/out.d/files", 2, -1, "/out.d/files/scan1.nox"},
        {"merged.nox", 2, -1, "merged.nox/scan1.nox"},
        {"/out", 3, -1, "/out/.nox"},
        {"", 2, -1, "/scan1.nox"},
        {"", 1, 7, "/scan1_7.nox"},
        {"/out/a\\b.nox", 2, -1, "/out/a\\b_scan1.nox"},
    };
    for (const NamingCase& c : cases) {
        SCOPED_TRACE(std::string(c.output) + " mode " + std::to_string(c.mode) + " index " +
                     std::to_string(c.index));
        EXPECT_EQ(outputName(c.output, c.mode, "/in/scan1.rxp", c.index), c.expected);
    }
}

TEST(OutputNaming, StemOfTheInputName) {
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"/in/scan1", "/out/scan1.nox"},
        {"/in/a.b.rxp", "/out/a.b.nox"},
        {"/in.d/scan1", "/out/scan1.nox"},
        {"scan1.rxp", "/out/scan1.nox"},
        {"/in/.rxp", "/out/.nox"},
        {"/in/trail.", "/out/trail.nox"},
        {"/in/back\\slash.rxp", "/out/back\\slash.nox"},
        {"", "/out/.nox"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(outputName("/out", 2, c.input, -1), c.expected);
    }
}

TEST(OutputNaming, NullInputNameCountsAsEmpty) {
    ImportBatch batch(KS_WIDE("test"));
    batch.setOutputFilename("/out/merged.nox");
    batch.setBatchMode(ks_formats::BatchModePerFile);
    EXPECT_EQ(toUtf8(batch._getOutputFilename(nullptr, -1)), "/out/merged.nox");
}

TEST(OutputNaming, DirectoryTestLooksAtTheLastDotAndSlash) {
    const struct {
        const char* output;
        bool directory;
    } cases[] = {
        {"/out", true},
        {"/out.d/files", true},
        {"merged.nox", true},
        {"", true},
        {"/out/merged.nox", false},
        {"/out/.nox", false},
        {"/a.b/c.d", false},
        {"/out/", true},
    };
    for (const auto& c : cases) {
        ImportBatch batch(KS_WIDE("test"));
        batch.setOutputFilename(c.output);
        EXPECT_EQ(batch._isOutputFileADirectory(), c.directory) << c.output;
    }
}

TEST(OutputNaming, ResultIsOneSharedBufferOverwrittenByTheNextCall) {
    ImportBatch first(KS_WIDE("test"));
    ImportBatch second(KS_WIDE("test"));
    first.setOutputFilename("/out");
    second.setOutputFilename("/other");
    first.setBatchMode(ks_formats::BatchModePerFile);
    second.setBatchMode(ks_formats::BatchModePerFile);

    const ks_formats::WideChar* a = first._getOutputFilename(KS_WIDE("/in/one.rxp"), -1);
    const std::string before = toUtf8(a);
    const ks_formats::WideChar* b = second._getOutputFilename(KS_WIDE("/in/two.rxp"), -1);
    EXPECT_EQ(before, "/out/one.nox");
    EXPECT_EQ(a, b);
    EXPECT_EQ(toUtf8(a), "/other/two.nox");
}

TEST(OutputNaming, InputMayPointIntoThePreviousResult) {
    ImportBatch batch(KS_WIDE("test"));
    batch.setOutputFilename("/out/merged.nox");
    batch.setBatchMode(ks_formats::BatchModePerScan);
    const ks_formats::WideChar* previous = batch._getOutputFilename(KS_WIDE("/in/scan1.rxp"), 3);
    ASSERT_EQ(toUtf8(previous), "/out/merged_scan1_3.nox");
    // The input is the result buffer itself: it must be read before the new name is written.
    EXPECT_EQ(toUtf8(batch._getOutputFilename(previous, 12)), "/out/merged_merged_scan1_3_12.nox");
    EXPECT_EQ(toUtf8(batch._getOutputFilename(previous + 5, 1)),
              "/out/merged_merged_merged_scan1_3_12_1.nox");
}

TEST(StrippedFilename, FinalComponentWithoutExtensionInItsOwnBuffer) {
    ImportBatch batch(KS_WIDE("test"));
    batch.setOutputFilename("/out");
    EXPECT_EQ(toUtf8(batch._getStrippedFilename(KS_WIDE("/x/y.rxp"))), "y");
    EXPECT_EQ(toUtf8(batch._getStrippedFilename(KS_WIDE("y.rxp"))), "y");
    EXPECT_EQ(toUtf8(batch._getStrippedFilename(KS_WIDE("/x.d/y"))), "y");
    EXPECT_EQ(toUtf8(batch._getStrippedFilename(nullptr)), "");

    const ks_formats::WideChar* stripped = batch._getStrippedFilename(KS_WIDE("/x/a.b.c"));
    ASSERT_EQ(toUtf8(stripped), "a.b");
    // Naming uses its own buffer, and a stripped name may be fed back in.
    batch._getOutputFilename(KS_WIDE("/in/other.rxp"), -1);
    EXPECT_EQ(toUtf8(stripped), "a.b");
    EXPECT_EQ(batch._getStrippedFilename(stripped), stripped);
    EXPECT_EQ(toUtf8(stripped), "a");
}

TEST(OutputNaming, SetOutputFilenameInBothFormsAndLongNames) {
    ImportBatch batch(KS_WIDE("test"));
    batch.setOutputFilename("/out/\xC3\xA9t\xC3\xA9\x93.nox");  // é, é, then a lone 0x93
    EXPECT_EQ(ks_formats::WideString(batch._getRawOutputFilename()),
              KS_WIDE("/out/\u00E9t\u00E9\u201C.nox"));

    batch.setOutputFilename(static_cast<const char*>(nullptr));
    EXPECT_EQ(ks_formats::WideString(batch._getRawOutputFilename()), KS_WIDE(""));
    batch.setOutputFilename(KS_WIDE("/x"));
    batch.setOutputFilename(static_cast<const ks_formats::WideChar*>(nullptr));
    EXPECT_EQ(ks_formats::WideString(batch._getRawOutputFilename()), KS_WIDE(""));

    const std::string longName = "/" + std::string(700, 'n') + ".nox";
    batch.setOutputFilename(longName.c_str());
    EXPECT_EQ(toUtf8(batch._getRawOutputFilename()), longName.substr(0, 511));
    batch.setOutputFilename(fromUtf8(longName.c_str()).c_str());
    EXPECT_EQ(toUtf8(batch._getRawOutputFilename()), longName.substr(0, 511));
    // Cut before its extension, the name now counts as a folder.
    batch.setBatchMode(ks_formats::BatchModePerFile);
    EXPECT_EQ(toUtf8(batch._getOutputFilename(KS_WIDE("/in/s.rxp"), -1)),
              longName.substr(0, 511) + "/s.nox");
}
