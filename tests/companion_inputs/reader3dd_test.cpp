#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ks_formats/types.h"
#include "ks_sampledata/grid_scan.h"
#include "reader3dd_interface.h"
#include "support/com_scope.h"
#include "support/file_bytes.h"
#include "support/scratch_folder.h"
#include "support/test_system.h"

namespace {

using namespace ks_formats::com;
using ks_sampledata::GridCell;
using ks_sampledata::GridScan;

// The reader as the library gets it: created by class id through the component layer, which
// finds lib3ddreader.so by its bare name.
class Reader3DDTest : public testing::Test {
protected:
    void SetUp() override {
        void* unknown = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_Reader3DD, nullptr, 0x17, IID_IUnknown, &unknown), S_OK);
        ks_test::ComPtr<IUnknown> object(static_cast<IUnknown*>(unknown));
        ASSERT_EQ(OleRun(object.get()), S_OK);
        void* reader = nullptr;
        ASSERT_EQ(object->QueryInterface(IID_IReader3DD, &reader), S_OK);
        reader_.reset(static_cast<IReader3DD*>(reader));
    }

    HRESULT open(const std::filesystem::path& path) {
        const auto wide(ks_test::widePath(path));
        BSTR name = SysAllocString(wide.c_str());
        BSTR options = SysAllocString(KS_WIDE(""));
        const HRESULT result = reader_->Open(name, options, 0, 0, 0);
        SysFreeString(options);
        SysFreeString(name);
        return result;
    }

    ks_test::ComScope com_;
    ks_test::ComPtr<IReader3DD> reader_;
};

// A 3 x 4 grid whose every value is distinct.
GridScan numberedGrid(bool intensity, bool colour) {
    GridScan grid = ks_sampledata::makeGridScan(3, 4, intensity, colour);
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 4; ++c) {
            const float v = static_cast<float>(r * 4 + c);
            grid.setCell(r, c, GridCell{v, -v, v + 0.25f, v / 16, v / 12, v / 24, 1 - v / 12});
        }
    return grid;
}

TEST_F(Reader3DDTest, DeliversTheGridSizeAndEveryChannel) {
    const auto path = ks_test::scratchFolder() / "scan.3dd";
    const GridScan grid = numberedGrid(true, true);
    ks_sampledata::writeGridScan(path, grid);

    ASSERT_EQ(open(path), S_OK);
    EXPECT_EQ(reader_->SetOptionA(48), S_OK);
    EXPECT_EQ(reader_->SetOptionB(4), S_OK);
    int32_t rows = 0;
    int32_t columns = 0;
    ASSERT_EQ(reader_->GetDimensions(&rows, &columns), S_OK);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(columns, 4);
    ASSERT_EQ(reader_->LoadData(), S_OK);

    int32_t delivered = 0;
    std::vector<float> positions(36, -1);
    ASSERT_EQ(reader_->GetPoints(&delivered, positions.data(), 4, 3, 0, 12), S_OK);
    EXPECT_EQ(positions, grid.positions);
    EXPECT_EQ(delivered, 12);
    std::vector<float> intensities(12, -1);
    ASSERT_EQ(reader_->GetIntensities(&delivered, intensities.data(), 0, 12), S_OK);
    EXPECT_EQ(intensities, grid.intensities);
    std::vector<float> colours(36, -1);
    ASSERT_EQ(reader_->GetColours(&delivered, colours.data(), 0, 12), S_OK);
    EXPECT_EQ(colours, grid.colours);

    // A part of the grid, from cell 5 on.
    std::vector<float> part(6, -1);
    ASSERT_EQ(reader_->GetColours(&delivered, part.data(), 5, 2), S_OK);
    EXPECT_EQ(delivered, 2);
    EXPECT_EQ(part, std::vector<float>(grid.colours.begin() + 15, grid.colours.begin() + 21));
    ASSERT_EQ(reader_->GetIntensities(&delivered, part.data(), 11, 1), S_OK);
    EXPECT_EQ(part[0], grid.intensities[11]);

    EXPECT_EQ(reader_->Close(), S_OK);
    EXPECT_EQ(reader_->GetDimensions(&rows, &columns), E_UNEXPECTED) << "closed";
}

// A fetch reads its array in pieces of 2^21 floats: the positions and the colours of a grid this
// size take a piece and a half each, and a run of cells that starts inside one piece goes on
// into the next.
TEST_F(Reader3DDTest, FetchesLargerThanOneReadPieceDeliverEveryCellInPlace) {
    constexpr int32_t kRows = 1000, kColumns = 1000;
    const auto path = ks_test::scratchFolder() / "large.3dd";
    GridScan grid = ks_sampledata::makeGridScan(kRows, kColumns, true, true);
    for (int32_t r = 0; r < kRows; ++r)
        for (int32_t c = 0; c < kColumns; ++c) {
            const float v = static_cast<float>(r * kColumns + c);
            grid.setCell(r, c, GridCell{v, -v, v + 0.5f, v / 1e6f, v / 2e6f, v / 3e6f, v / 4e6f});
        }
    ks_sampledata::writeGridScan(path, grid);

    ASSERT_EQ(open(path), S_OK);
    ASSERT_EQ(reader_->LoadData(), S_OK);
    constexpr int32_t kCells = kRows * kColumns;
    int32_t delivered = 0;
    std::vector<float> values(size_t(kCells) * 3, -1);
    ASSERT_EQ(reader_->GetPoints(&delivered, values.data(), 4, 3, 0, kCells), S_OK);
    EXPECT_EQ(delivered, kCells);
    EXPECT_TRUE(values == grid.positions) << "positions";
    ASSERT_EQ(reader_->GetColours(&delivered, values.data(), 0, kCells), S_OK);
    EXPECT_TRUE(values == grid.colours) << "colours";
    std::fill(values.begin(), values.end(), -1.0f);
    ASSERT_EQ(reader_->GetIntensities(&delivered, values.data(), 0, kCells), S_OK);
    EXPECT_TRUE(std::equal(grid.intensities.begin(), grid.intensities.end(), values.begin()))
        << "intensities";
    EXPECT_EQ(values[kCells], -1.0f) << "nothing beyond the cells asked for";

    // Cells 600,000 to 899,999: positions 1,800,000 to 2,699,999, across the first boundary.
    constexpr int32_t kFirst = 600000, kCount = 300000;
    std::vector<float> slice(size_t(kCount) * 3, -1);
    ASSERT_EQ(reader_->GetPoints(&delivered, slice.data(), 4, 3, kFirst, kCount), S_OK);
    EXPECT_TRUE(std::equal(slice.begin(), slice.end(), grid.positions.begin() + 3 * kFirst))
        << "positions from cell 600,000 on";
}

TEST_F(Reader3DDTest, AMissingChannelIsAnsweredWithZerosAndSFalse) {
    const auto dir = ks_test::scratchFolder();
    ks_sampledata::writeGridScan(dir / "colour.3dd", numberedGrid(false, true));
    ASSERT_EQ(open(dir / "colour.3dd"), S_OK);
    ASSERT_EQ(reader_->LoadData(), S_OK);
    int32_t delivered = -1;
    std::vector<float> values(36, 7.0f);
    EXPECT_EQ(reader_->GetIntensities(&delivered, values.data(), 0, 12), S_FALSE);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(std::vector<float>(values.begin(), values.begin() + 12),
              std::vector<float>(12, 0.0f));
    EXPECT_EQ(values[12], 7.0f) << "nothing beyond the cells asked for";
    ASSERT_EQ(reader_->GetColours(&delivered, values.data(), 0, 12), S_OK)
        << "the colours sit right after the positions";
    EXPECT_EQ(values, numberedGrid(false, true).colours);

    ks_sampledata::writeGridScan(dir / "intensity.3dd", numberedGrid(true, false));
    ASSERT_EQ(open(dir / "intensity.3dd"), S_OK);
    ASSERT_EQ(reader_->LoadData(), S_OK);
    EXPECT_EQ(reader_->GetColours(&delivered, values.data(), 0, 12), S_FALSE);
    EXPECT_EQ(values, std::vector<float>(36, 0.0f));
    ASSERT_EQ(reader_->GetIntensities(&delivered, values.data(), 0, 12), S_OK);
    EXPECT_EQ(values[11], 11.0f / 16);
}

TEST_F(Reader3DDTest, FetchesRefuseWhatDoesNotMatchTheGrid) {
    const auto path = ks_test::scratchFolder() / "scan.3dd";
    ks_sampledata::writeGridScan(path, numberedGrid(true, true));
    std::vector<float> buffer(64, 0.0f);
    int32_t delivered = 0;
    int32_t rows = 0;
    EXPECT_EQ(reader_->GetDimensions(&rows, &rows), E_UNEXPECTED) << "nothing open";
    EXPECT_EQ(reader_->LoadData(), E_UNEXPECTED);
    ASSERT_EQ(open(path), S_OK);
    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 4, 3, 0, 12), E_UNEXPECTED)
        << "before LoadData";
    ASSERT_EQ(reader_->LoadData(), S_OK);

    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 4, 3, 0, 13), E_INVALIDARG);
    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 4, 3, 12, 1), E_INVALIDARG);
    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 4, 3, -1, 2), E_INVALIDARG);
    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 4, 3, 0, -1), E_INVALIDARG);
    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 1, 3, 0, 12), E_INVALIDARG);
    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 4, 4, 0, 12), E_INVALIDARG);
    EXPECT_EQ(reader_->GetIntensities(&delivered, buffer.data(), 2147483647, 2147483647),
              E_INVALIDARG);
    EXPECT_EQ(reader_->GetColours(&delivered, nullptr, 0, 12), E_POINTER);
    EXPECT_EQ(reader_->GetDimensions(nullptr, &rows), E_POINTER);
    EXPECT_EQ(buffer, std::vector<float>(64, 0.0f)) << "refused fetches write nothing";
    EXPECT_EQ(reader_->GetPoints(&delivered, buffer.data(), 4, 3, 12, 0), S_OK) << "empty tail";
}

TEST_F(Reader3DDTest, OpenRefusesFilesWhoseLayoutDoesNotHold) {
    const auto dir = ks_test::scratchFolder();
    ks_sampledata::writeGridScan(dir / "good.3dd", numberedGrid(true, false));
    const auto good = ks_test::readBytes(dir / "good.3dd");
    ASSERT_EQ(good.size(), 24u + 12 * 16);

    auto resized = [&](size_t size) {
        auto copy = good;
        copy.resize(size, 0);
        return copy;
    };
    auto patched = [&](size_t offset, std::vector<unsigned char> bytes, size_t size = 0) {
        auto copy = resized(size ? size : good.size());
        for (size_t i = 0; i < bytes.size(); ++i) copy.at(offset + i) = bytes[i];
        return copy;
    };
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
    } broken[] = {
        {"magic", patched(0, {'K', 'S', '3', 'D', 'D', 'S', 'I', 'N'})},
        {"version 2", patched(8, {2})},
        {"negative rows", patched(12, {0xFD, 0xFF, 0xFF, 0xFF})},
        {"rows too many for the file", patched(12, {4})},
        // (2^31-1) x (2^31-1) cells with the data of one: a 32-bit product would wrap to 1.
        {"absurd size", patched(12, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, 24 + 16)},
        {"colour channel not in the file", patched(20, {3})},
        {"unknown channel", patched(20, {5})},
        {"one byte short", resized(good.size() - 1)},
        {"one byte extra", resized(good.size() + 1)},
        {"header cut", resized(20)},
    };
    for (const auto& file : broken) {
        const auto path = dir / (std::string(file.name) + ".3dd");
        ks_test::writeBytes(path, file.bytes);
        EXPECT_TRUE(failed(open(path))) << file.name;
        int32_t rows = 0;
        EXPECT_EQ(reader_->GetDimensions(&rows, &rows), E_UNEXPECTED) << file.name;
    }
    EXPECT_EQ(open(dir / "missing.3dd"), STG_E_FILENOTFOUND);
    EXPECT_EQ(reader_->Open(nullptr, nullptr, 0, 0, 0), E_POINTER);

    // A reader that refused a file opens the next good one.
    EXPECT_EQ(open(dir / "good.3dd"), S_OK);
}

TEST_F(Reader3DDTest, WideNamesAndEmptyGridsOpen) {
    const auto dir = ks_test::scratchFolder();
    const std::filesystem::path wide = dir / KS_WIDE("sc\u00e4n \U0001F600.3dd");
    ks_sampledata::writeGridScan(wide, ks_sampledata::makeGridScan(0, 5, true, true));
    ASSERT_EQ(open(wide), S_OK);
    int32_t rows = -1;
    int32_t columns = -1;
    ASSERT_EQ(reader_->GetDimensions(&rows, &columns), S_OK);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(columns, 5);
    EXPECT_EQ(reader_->LoadData(), S_FALSE) << "nothing to load";
}

TEST(GridScanFile, SyntheticScanWrittenCellByCellEqualsTheOneBuiltInMemory) {
    const auto dir = ks_test::scratchFolder();
    ks_sampledata::SyntheticGrid settings;
    settings.rows = 37;
    settings.columns = 53;
    settings.dropoutEvery = 11;
    ks_sampledata::writeSyntheticGrid(dir / "streamed.3dd", settings);
    const GridScan grid = ks_sampledata::syntheticGridScan(settings);
    ks_sampledata::writeGridScan(dir / "held.3dd", grid);
    EXPECT_EQ(ks_test::readBytes(dir / "streamed.3dd"), ks_test::readBytes(dir / "held.3dd"));

    // Dropouts are (0, 0, 0); every other cell lies on the room's surface.
    for (size_t i = 0; i < grid.cells(); ++i) {
        const float* p = &grid.positions[3 * i];
        const double horizontal = std::hypot(p[0], p[1]);
        if ((i + 1) % 11 == 0) {
            EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << i;
        } else {
            EXPECT_TRUE(std::abs(std::abs(p[2]) - 1.5) < 1e-4 || std::abs(horizontal - 8.0) <= 0.41)
                << "cell " << i << " at " << p[0] << ", " << p[1] << ", " << p[2];
        }
    }
}

TEST(GridScanFile, LayoutIsAHeaderThenPlanarArrays) {
    const auto path = ks_test::scratchFolder() / "layout.3dd";
    GridScan grid = ks_sampledata::makeGridScan(1, 2, true, true);
    grid.setCell(0, 0, GridCell{1, 2, 3, 0.5f, 4, 5, 6});
    grid.setCell(0, 1, GridCell{7, 8, 9, 0.25f, 10, 11, 12});
    ks_sampledata::writeGridScan(path, grid);
    const auto bytes = ks_test::readBytes(path);
    ASSERT_EQ(bytes.size(), 24u + 2 * 28);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 24),
              (std::vector<unsigned char>{'K', 'S', '3', 'D', 'D', 'S', 'I', 'M', 1, 0, 0, 0,
                                          1,   0,   0,   0,   2,   0,   0,   0,   3, 0, 0, 0}));
    std::vector<float> values(14);
    std::memcpy(values.data(), bytes.data() + 24, 56);
    EXPECT_EQ(values, (std::vector<float>{1, 2, 3, 7, 8, 9, 0.5f, 0.25f, 4, 5, 6, 10, 11, 12}));

    GridScan wrong = grid;
    wrong.intensities.pop_back();
    EXPECT_THROW(ks_sampledata::writeGridScan(path, wrong), std::invalid_argument);
}

}  // namespace
