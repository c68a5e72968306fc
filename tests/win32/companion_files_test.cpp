// The writer, viewer and point-stream libraries on Windows, where their files are opened through
// the Windows file functions: UTF-16 names outside every ANSI code page, drive paths with either
// separator, an output that already exists, and no temporary file left behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ks_sampledata/point_stream.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"
#include "scanifc.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder whose name needs UTF-16, removed afterwards.
class CompanionFilesTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (L"ks \u0416\u00e9 " + std::to_wstring(GetCurrentProcessId()) + L" " +
                   std::to_wstring(++serial_));
        fs::remove_all(folder_);
        ASSERT_TRUE(fs::create_directories(folder_));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::vector<fs::path> folderContents() const {
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename());
        return names;
    }

    fs::path folder_;
    static inline int serial_ = 0;
};

// Writes one cloud of count points (x = 0, 1, 2, ...) to path; true when every call succeeded.
bool writeCloud(const fs::path& path, int count) {
    if (ksioStartStreamW(path.c_str()) != 1 || ksioAddGroupW(0, L"g") != 1 ||
        ksioAddCloudW(KSIO_CLOUD_INTENSITY, L"c", nullptr, 0, 0) != 1)
        return false;
    for (int i = 0; i < count; ++i) {
        const double xyz[3] = {static_cast<double>(i), 2, 3};
        if (ksioAddPoint(xyz, nullptr, static_cast<int16_t>(i), nullptr, 0) != 1) return false;
    }
    return ksioBuildNOXFile() == 1;
}

// The x of every point of the file, through the viewer.
std::vector<double> readXs(const fs::path& path) {
    std::vector<double> xs;
    const uint64_t scene = ksOpenNOX(path.c_str());
    if (scene == 0) return xs;
    const uint64_t query = ksCreateVisPointsQuery();
    ksSetQueryScope(query, scene);
    std::vector<double> xyz(3 * 64);
    std::vector<uint8_t> rgb(3 * 64);
    std::vector<int16_t> intensity(64);
    while (const uint32_t n = ksGetQueryPointsd(query, 64, xyz.data(), rgb.data(), intensity.data(),
                                                nullptr, nullptr))
        for (uint32_t i = 0; i < n; ++i) xs.push_back(xyz[3 * i]);
    ksDeleteQuery(query);
    ksRemoveScene(scene);
    return xs;
}

TEST_F(CompanionFilesTest, WriterReplacesAnOutputAndViewerReadsItBack) {
    const fs::path output = folder_ / L"Gitter \u0416.nox";
    {
        HANDLE old = CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(old, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(old, "old", 3, &written, nullptr));
        CloseHandle(old);
    }
    ASSERT_TRUE(writeCloud(output, 1000)) << std::wstring(ksioGetLastErrorW());
    // The output alone: the temporary file was renamed onto it.
    EXPECT_EQ(folderContents(), std::vector<fs::path>{output.filename()});

    const std::vector<double> xs = readXs(output);
    ASSERT_EQ(xs.size(), 1000u);
    for (size_t i = 0; i < xs.size(); ++i) ASSERT_NEAR(xs[i], static_cast<double>(i), 0.001);

    // The scene is named by the file's stem, the folder cut at the backslash.
    const uint64_t scene = ksOpenNOX(output.c_str());
    ASSERT_NE(scene, 0u);
    ks_char name[KS_NAME_UNITS] = {};
    ASSERT_EQ(ksSceneInfo(scene, name, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(std::wstring(name), L"Gitter \u0416");
    ksRemoveScene(scene);
}

// A temporary file whose process has ended goes when the same output is written again; one of
// a process that runs (this one), and another output's, stay.
TEST_F(CompanionFilesTest, WriterRemovesTemporariesOfEndedProcessesForItsOutput) {
    const auto touch = [&](const std::wstring& name) {
        HANDLE file = CreateFileW((folder_ / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_HIDDEN, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    };
    // No process has this id: ids are multiples of four and far smaller.
    const std::wstring ended = L"1073741820", self = std::to_wstring(GetCurrentProcessId());
    touch(L".scan Ж.nox." + ended + L".0.part");
    touch(L".scan Ж.nox." + self + L".9.part");
    touch(L".other.nox." + ended + L".0.part");
    ASSERT_TRUE(writeCloud(folder_ / L"scan Ж.nox", 10)) << std::wstring(ksioGetLastErrorW());
    std::vector<fs::path> left = folderContents();
    std::sort(left.begin(), left.end());
    std::vector<fs::path> expected = {L".other.nox." + ended + L".0.part",
                                      L".scan Ж.nox." + self + L".9.part", L"scan Ж.nox"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

TEST_F(CompanionFilesTest, DiscardedStreamLeavesNothingAndMissingFilesAreRefused) {
    const fs::path output = folder_ / L"discarded.nox";
    ASSERT_EQ(ksioStartStreamW(output.c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, L"g"), 1);
    ASSERT_EQ(ksioAddCloudW(0, L"c", nullptr, 0, 0), 1);
    const double xyz[3] = {1, 2, 3};
    ASSERT_EQ(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 1);
    EXPECT_EQ(folderContents().size(), 1u);  // the temporary file while the stream is open
    ASSERT_EQ(ksioDiscardStream(), 1);
    EXPECT_TRUE(folderContents().empty());

    EXPECT_EQ(ksOpenNOX((folder_ / L"missing.nox").c_str()), 0u);
    EXPECT_NE(ksioStartStreamW((folder_ / L"no folder" / L"x.nox").c_str()), 1);
    EXPECT_TRUE(folderContents().empty());
}

// Opens the stream at uri and counts its records; -1 when it does not open.
int64_t countRecords(const std::string& uri) {
    point3dstream_handle stream = nullptr;
    if (scanifc_point3dstream_open(uri.c_str(), 0, &stream) != 0) return -1;
    int64_t total = 0;
    std::vector<scanifc_xyz32> xyz(100);
    std::vector<scanifc_attributes> attributes(100);
    std::vector<uint64_t> times(100);
    for (;;) {
        uint32_t got = 0;
        int32_t endOfFrame = 0;
        if (scanifc_point3dstream_read(stream, 100, xyz.data(), attributes.data(), times.data(),
                                       &got, &endOfFrame) != 0 ||
            got == 0)
            break;
        total += got;
    }
    scanifc_point3dstream_close(stream);
    return total;
}

// The narrow form of wide text in code page codePage; "" when a character does not fit.
std::string narrow(const std::wstring& text, UINT codePage) {
    BOOL lossy = FALSE;
    const bool utf8 = codePage == CP_UTF8;
    const int bytes = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr,
                                          utf8 ? nullptr : &lossy);
    if (bytes <= 0 || lossy) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes) - 1);
    return out;
}

TEST_F(CompanionFilesTest, PointStreamOpensByDrivePathInUtf8AndInTheAnsiCodePage) {
    std::vector<ks_sampledata::StreamRecord> records(250);
    for (size_t i = 0; i < records.size(); ++i) records[i].x = static_cast<float>(i);
    // Beside the test folder, whose name no ANSI code page holds: this name fits Windows-1252.
    const fs::path file = fs::temp_directory_path() /
                          (L"ks scan \u00e9 " + std::to_wstring(GetCurrentProcessId()) + L".rxp");
    ks_sampledata::writePointStream(file, records);

    // "file://C:/.../ks scan é.rxp": forward slashes after the drive, UTF-8 as the converter
    // writes it.
    EXPECT_EQ(countRecords("file://" + narrow(file.generic_wstring(), CP_UTF8)), 250);
    // The same name in the ANSI code page, as other Windows programs write narrow paths (where
    // the code page holds the name and it differs from UTF-8).
    const std::string ansi = narrow(file.wstring(), CP_ACP);
    if (!ansi.empty() && ansi != narrow(file.wstring(), CP_UTF8)) {
        EXPECT_EQ(countRecords("file://" + ansi), 250);
    } else {
        std::printf("the ANSI code page %u does not hold the name: checked in UTF-8 only\n",
                    GetACP());
    }
    EXPECT_EQ(countRecords("file://" + narrow((folder_ / L"missing.rxp").wstring(), CP_UTF8)), -1);
    fs::remove(file);
}

}  // namespace
