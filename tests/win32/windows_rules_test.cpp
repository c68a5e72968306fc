// The library's path and text rules as a Windows host sees them: backslashes, drive paths, the
// ANSI code page for narrow text, the extension folder below the drive root of NoxFormats.dll,
// and the progress record in UTF-16. Runs under Wine against the library's internal archive.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "handlers/handler_rdb.h"
#include "handlers/handler_rxp.h"
#include "handlers/rsp_project.h"
#include "ks_common/narrow_text.h"
#include "ks_common/progress_record.h"
#include "ks_formats/import_batch.h"

namespace {

namespace fs = std::filesystem;
using ks_formats::BatchMode;
using ks_formats::ImportBatch;
using ks_formats::WideString;

std::wstring outputName(const wchar_t* output, int mode, const wchar_t* input, int index) {
    ImportBatch batch(L"test");
    batch.setOutputFilename(output);
    batch.setBatchMode(static_cast<BatchMode>(mode));
    return batch._getOutputFilename(input, index);
}

TEST(WindowsOutputNaming, DrivePathsFollowTheNamingTable) {
    struct Case {
        const wchar_t* output;
        int mode;
        int index;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\out", 2, -1, L"C:\\out\\scan1.nox"},
        {L"C:\\out\\", 2, -1, L"C:\\out\\\\scan1.nox"},
        {L"C:\\out\\merged.nox", 2, -1, L"C:\\out\\merged_scan1.nox"},
        {L"C:\\out\\merged.nox", 3, -1, L"C:\\out\\merged.nox"},
        {L"C:\\out\\merged.nox", 1, 4, L"C:\\out\\merged_scan1_4.nox"},
        {L"C:\\out\\merged.nox", 2, 4, L"C:\\out\\merged_scan1.nox"},
        {L"C:\\out\\conv.*", 2, -1, L"C:\\out\\conv.scan1.nox"},
        {L"C:\\out\\*.nox", 2, -1, L"C:\\out\\scan1.nox.nox"},
        {L"C:\\out.d\\files", 2, -1, L"C:\\out.d\\files\\scan1.nox"},
        {L"merged.nox", 2, -1, L"merged.nox\\scan1.nox"},
        // No name at all: below the root of the current drive.
        {L"", 2, -1, L"\\scan1.nox"},
        // "/" is no separator of these rules: the "." after it still makes a file name.
        {L"C:\\out/merged.nox", 2, -1, L"C:\\out/merged_scan1.nox"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "output " << ks_common::encodeNarrow(c.output)
                                        << " mode " << c.mode << " index " << c.index);
        EXPECT_EQ(outputName(c.output, c.mode, L"C:\\in\\scan1.rxp", c.index), c.expected);
    }
}

TEST(WindowsOutputNaming, StemsComeFromTheLastBackslashComponent) {
    EXPECT_EQ(outputName(L"C:\\out", 2, L"C:\\in\\scan1", -1), L"C:\\out\\scan1.nox");
    EXPECT_EQ(outputName(L"C:\\out", 2, L"C:\\in\\a.b.rxp", -1), L"C:\\out\\a.b.nox");
    EXPECT_EQ(outputName(L"C:\\out", 2, L"C:\\in.d\\scan1", -1), L"C:\\out\\scan1.nox");
    ImportBatch batch(L"test");
    EXPECT_STREQ(batch._getStrippedFilename(L"C:\\x\\y.rxp"), L"y");
    EXPECT_STREQ(batch._getStrippedFilename(L"y.rxp"), L"y");
    EXPECT_STREQ(batch._getStrippedFilename(L"D:y.rxp"), L"y");
}

// A folder below the test's temporary folder, removed afterwards.
class WindowsFileDiscovery : public testing::Test {
protected:
    void SetUp() override {
        root_ =
            fs::temp_directory_path() / (L"ks-discovery-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(root_);
        fs::create_directories(root_ / L"sub" / L"deeper");
        fs::create_directories(root_ / L".hidden");
        for (const wchar_t* name :
             {L"a.rxp", L"B.rxp", L"x.rdbx", L"sub\\Q.RDBX", L"sub\\y.rdbx", L"sub\\deeper\\z.rdbx",
              L".hidden\\h.rdbx", L".dot.rdbx", L"caf\u00e9.rdbx", L"\u65e5\u672c.rdbx"})
            std::ofstream(root_ / name) << "x";
    }
    void TearDown() override { fs::remove_all(root_); }

    std::vector<std::wstring> importFiles(const ImportBatch& batch) {
        std::vector<std::wstring> names;
        for (int i = 0; i < batch.numImportFiles(); ++i)
            names.emplace_back(batch.getImportFilename(i));
        return names;
    }
    std::wstring at(const wchar_t* relative) { return (root_ / relative).wstring(); }

    fs::path root_;
};

TEST_F(WindowsFileDiscovery, PatternAddsMatchesWithBackslashAndIncluded) {
    ImportBatch batch(L"test");
    batch.useRecursiveSearch(false);
    batch.addSearchPath((root_.wstring() + L"\\*.rxp").c_str());
    EXPECT_EQ(batch.extractFilePaths(), 2);
    // Ordinal order: upper case before lower case.
    EXPECT_EQ(importFiles(batch), (std::vector<std::wstring>{at(L"B.rxp"), at(L"a.rxp")}));
    EXPECT_TRUE(batch.getIncludeFile(0));

    // With recursion on, a three-character extension still takes the pattern branch.
    ImportBatch recursive(L"test");
    recursive.useRecursiveSearch(true);
    recursive.addSearchPath((root_.wstring() + L"\\*.rxp").c_str());
    EXPECT_EQ(recursive.extractFilePaths(), 2);
}

TEST_F(WindowsFileDiscovery, RecursionWalksSubfoldersForTheExactExtension) {
    ImportBatch batch(L"test");
    batch.useRecursiveSearch(true);
    batch.addSearchPath((root_.wstring() + L"\\*.rdbx").c_str());
    batch.extractFilePaths();
    std::vector<std::wstring> expected = {at(L"x.rdbx"), at(L"sub\\y.rdbx"),
                                          at(L"sub\\deeper\\z.rdbx"), at(L"caf\u00e9.rdbx"),
                                          at(L"\u65e5\u672c.rdbx")};
    std::vector<std::wstring> found = importFiles(batch);
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    // Q.RDBX differs in case, .dot.rdbx and .hidden\ start with a dot.
    EXPECT_EQ(found, expected);
    for (int i = 0; i < batch.numImportFiles(); ++i) EXPECT_FALSE(batch.getIncludeFile(i));

    // No extension: only a name ending in "." has an empty one, and Windows keeps no such name.
    ImportBatch bare(L"test");
    bare.useRecursiveSearch(true);
    bare.addSearchPath((root_.wstring() + L"\\scans").c_str());
    EXPECT_EQ(bare.extractFilePaths(), 0);
}

TEST(WindowsImportFiles, DuplicatesGoAndCaseCounts) {
    ImportBatch batch(L"test");
    batch.addImportFile(L"C:\\s\\B.rxp");
    batch.addImportFile(L"C:\\s\\a.rxp");
    batch.addImportFile(L"C:\\s\\B.rxp");
    EXPECT_EQ(batch.extractFilePaths(), 2);
    EXPECT_STREQ(batch.getImportFilename(0), L"C:\\s\\B.rxp");
    EXPECT_STREQ(batch.getImportFilename(1), L"C:\\s\\a.rxp");

    ImportBatch cased(L"test");
    cased.addImportFile(L"C:\\Scans\\a.rxp");
    cased.addImportFile(L"c:\\scans\\a.rxp");
    EXPECT_EQ(cased.extractFilePaths(), 2);
}

// Narrow text is in the ANSI code page: Wine's default for an English locale is Windows-1252.
class WindowsNarrowText : public testing::Test {
protected:
    void SetUp() override {
        if (GetACP() != 1252)
            GTEST_SKIP() << "these cases are written for code page 1252, not " << GetACP();
    }
};

TEST_F(WindowsNarrowText, NarrowNamesComeInAndGoOutInTheAnsiCodePage) {
    ImportBatch batch(L"test");
    batch.addImportFile("C:\\in\\caf\xE9.rxp");  // é is 0xE9 in 1252
    ASSERT_EQ(batch.numImportFiles(), 1);
    EXPECT_STREQ(batch.getImportFilename(0), L"C:\\in\\caf\u00e9.rxp");

    batch._addExportedFile(L"C:\\out\\caf\u00e9 \u20ac.nox");  // € is 0x80 in 1252
    EXPECT_STREQ(batch.getExportedFilenameA(0), "C:\\out\\caf\xE9 \x80.nox");
}

TEST_F(WindowsNarrowText, BestFitIsOffSoNoNameTurnsIntoAnother) {
    // With best fit on, "Ω" would come out as "O" and "ā" as "a": names of other files.
    ImportBatch batch(L"test");
    batch._addExportedFile(L"C:\\out\\\u03a9\u0101.nox");
    EXPECT_STREQ(batch.getExportedFilenameA(0), "C:\\out\\??.nox");
}

TEST_F(WindowsNarrowText, LongNamesAreCutToWholeCharactersWithinTheBuffer) {
    ImportBatch batch(L"test");
    const std::wstring longName = L"C:\\" + std::wstring(300, L'\u00e9') + L".nox";
    batch._addExportedFile(longName.c_str());
    const std::string narrow = batch.getExportedFilenameA(0);
    EXPECT_EQ(narrow.size(), 259u);
    EXPECT_EQ(narrow.substr(0, 3), "C:\\");
    EXPECT_EQ(std::count(narrow.begin(), narrow.end(), '\xE9'), 256);
    EXPECT_EQ(std::wstring(batch.getExportedFilenameW(0)), longName);
}

TEST(WindowsProjectPaths, ScanFilesAndDatabaseFoldersUseBackslashes) {
    ks_formats::ScanPosition position;
    position.name = "ScanPos001";
    ks_formats::ProjectScan scan;
    scan.file = L"100101_101010.rxp";
    EXPECT_EQ(ks_formats::scanFilePath(L"C:\\data\\site.rsp", position, scan),
              L"C:\\data\\SCANS\\ScanPos001\\SINGLESCANS\\100101_101010.rxp");
    EXPECT_EQ(ks_formats::scanFilePath(L"site.rsp", position, scan),
              L"SCANS\\ScanPos001\\SINGLESCANS\\100101_101010.rxp");

    EXPECT_EQ(rdbDataFolder(L"C:\\data\\SCANS\\ScanPos001\\SINGLESCANS\\100101_101010.rdb"),
              L"C:\\data\\project.rdb\\SCANS\\ScanPos001\\SINGLESCANS\\100101_101010\\");
    // "SCANS" twice: the database folder goes before the first.
    EXPECT_EQ(rdbDataFolder(L"C:\\SCANS\\SCANS\\p\\SINGLESCANS\\s.rdb"),
              L"C:\\project.rdb\\SCANS\\SCANS\\p\\SINGLESCANS\\s\\");
}

TEST(WindowsProjectPaths, StreamUriHasOneBytePerCharacterAndForwardSlashes) {
    EXPECT_EQ(rxpStreamUri(L"C:\\scans\\a.rxp"), "file://C:/scans/a.rxp");
    EXPECT_EQ(rxpStreamUri(L"C:\\scans\\caf\u00e9.rxp"), "file://C:/scans/caf\xE9.rxp");
    // A character above U+00FF has no byte: the stream cannot be named.
    EXPECT_EQ(rxpStreamUri(L"C:\\scans\\\u65e5.rxp"), "");
}

TEST(WindowsExtensionFolder, SetFolderGetsATrailingBackslash) {
    ImportBatch batch(L"test");
    batch.set32BitNoxFormatsFolder(L"D:\\ext");
    EXPECT_STREQ(batch.get32BitNoxFormatsFolder(), L"D:\\ext\\");
    batch.set32BitNoxFormatsFolder(L"D:\\other\\");
    EXPECT_STREQ(batch.get32BitNoxFormatsFolder(), L"D:\\other\\");
    batch.set32BitNoxFormatsFolder(L"");
    EXPECT_STREQ(batch.get32BitNoxFormatsFolder(), L"\\");
    // 511 characters without a closing backslash do not fit with one: ignored.
    batch.set32BitNoxFormatsFolder(std::wstring(511, L'x').c_str());
    EXPECT_STREQ(batch.get32BitNoxFormatsFolder(), L"\\");
}

TEST(WindowsExtensionFolder, DerivedFromTheDriveRootOfTheLoadedNoxFormatsDll) {
    ImportBatch before(L"test");
    ASSERT_EQ(GetModuleHandleW(L"NoxFormats.dll"), nullptr);
    EXPECT_EQ(before.get32BitNoxFormatsFolder(), nullptr);

    // A stand-in NoxFormats.dll beside this program; only its path matters.
    HMODULE module = LoadLibraryW(L"NoxFormats.dll");
    ASSERT_NE(module, nullptr) << "NoxFormats.dll beside the test program: error "
                               << GetLastError();
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(module, path, MAX_PATH), 3u);
    const std::wstring expected =
        std::wstring(path, 3) + L"Program Files (x86)\\Marrowby\\Kestrion32Ext\\";
    ImportBatch after(L"test");
    EXPECT_EQ(std::wstring(after.get32BitNoxFormatsFolder()), expected);
    FreeLibrary(module);
}

TEST(WindowsProgressRecord, RecordIsUtf16WithTheBlockAndEventNames) {
    const WideString record = ks_common::formatProgressRecord(L"C:\\a.rxp", 16, 50, 0, 2);
    EXPECT_EQ(record, L"C:\\a.rxp|16|50|0|2");
    unsigned char block[64] = {};
    ks_common::storeProgressRecord(record, block, sizeof block);
    EXPECT_EQ(block[0], 'C');
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[34], '2');
    EXPECT_EQ(block[36], 0);
    EXPECT_STREQ(ks_common::kProgressBlockName, "NoxFormatsProgress");
    EXPECT_EQ(ks_common::progressEventName(ks_common::kProgressBlockName),
              "NoxFormatsProgressEvent");
}

}  // namespace
