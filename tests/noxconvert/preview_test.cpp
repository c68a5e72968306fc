// `preview` writes a PNG of the size asked for (or 1024 wide by default) that shows the points.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;

uint32_t bigEndian32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

struct Ihdr {
    uint32_t width = 0, height = 0;
};

// The header chunk, checked by hand: signature, chunk length and type, CRC.
Ihdr readIhdr(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char bytes[33] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    EXPECT_EQ(in.gcount(), 33);
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(bytes, signature, 8), 0) << "no PNG signature";
    EXPECT_EQ(bigEndian32(bytes + 8), 13u);
    EXPECT_EQ(std::memcmp(bytes + 12, "IHDR", 4), 0);
    EXPECT_EQ(crc32(0, bytes + 12, 17), bigEndian32(bytes + 29)) << "IHDR checksum";
    return {bigEndian32(bytes + 16), bigEndian32(bytes + 20)};
}

// Decodes the whole picture and counts pixels that differ from the corner (the background).
size_t drawnPixels(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << image.message;
        return 0;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        ADD_FAILURE() << image.message;
        return 0;
    }
    size_t drawn = 0;
    for (size_t i = 0; i < pixels.size(); i += 3)
        drawn += std::memcmp(&pixels[i], &pixels[0], 3) != 0;
    return drawn;
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratchFolder();
        const SampleInputs inputs = writeSampleInputs(folder);
        nox = (folder / "room.nox").string();
        const ToolRun run =
            runTool(KS_NOXCONVERT_PATH, {"convert", inputs.grid.string(), "-o", nox});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    fs::path folder;
    std::string nox;
};

TEST_F(Preview, GivenSizeIsTheSizeWritten) {
    const fs::path png = folder / "given.png";
    const ToolRun run = runTool(
        KS_NOXCONVERT_PATH, {"preview", nox, png.string(), "--width", "320", "--height", "200"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Ihdr ihdr = readIhdr(png);
    EXPECT_EQ(ihdr.width, 320u);
    EXPECT_EQ(ihdr.height, 200u);
    // The room's walls and floor cover a good part of the picture.
    EXPECT_GT(drawnPixels(png), 320u * 200u / 100);
}

TEST_F(Preview, DefaultIsAThousandPixelsWideWithTheCloudsAspect) {
    const fs::path png = folder / "default.png";
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"preview", nox, png.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Ihdr ihdr = readIhdr(png);
    EXPECT_EQ(ihdr.width, 1024u);
    // The synthetic room is about as deep as it is wide.
    EXPECT_GT(ihdr.height, 1024u * 3 / 4);
    EXPECT_LT(ihdr.height, 1024u * 4 / 3);
    EXPECT_GT(drawnPixels(png), 0u);
}

TEST_F(Preview, OnlyTheWidthGivenKeepsTheAspect) {
    const fs::path wide = folder / "wide.png";
    const fs::path narrow = folder / "narrow.png";
    ASSERT_EQ(
        runTool(KS_NOXCONVERT_PATH, {"preview", nox, wide.string(), "--width", "800"}).exitCode, 0);
    ASSERT_EQ(
        runTool(KS_NOXCONVERT_PATH, {"preview", nox, narrow.string(), "--width", "400"}).exitCode,
        0);
    const Ihdr a = readIhdr(wide), b = readIhdr(narrow);
    EXPECT_EQ(a.width, 800u);
    EXPECT_EQ(b.width, 400u);
    EXPECT_NEAR(static_cast<double>(a.height) / a.width, static_cast<double>(b.height) / b.width,
                0.02);
}

}  // namespace
}  // namespace ks_test
