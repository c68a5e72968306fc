// `export OUT.las` writes what the LAS 1.4 rules say, and every point of the NOX file is in it.
#include "ks_hostkit/las_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "ks_common/little_endian.h"
#include "support/file_bytes.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;
using ks_common::load;

// A LAS file read back by the format's own layout, independent of the writer.
struct LasPoint {
    double xyz[3];
    uint16_t intensity;
    uint8_t returns, classification;
    uint16_t source;
    uint16_t rgb[3];
};

struct LasFile {
    uint16_t headerSize = 0, recordLength = 0;
    uint32_t pointOffset = 0, vlrCount = 0, legacyCount = 0;
    uint8_t major = 0, minor = 0, format = 0;
    double scale[3], offset[3], max[3], min[3];
    uint64_t firstEvlr = 0, pointCount = 0, firstReturns = 0;
    uint32_t evlrCount = 0;
    std::vector<LasPoint> points;
    std::string evlrUser;
    uint16_t evlrRecord = 0;
    std::string evlrPayload;
};

LasFile readLas(const std::string& b) {
    LasFile f;
    if (b.size() < 375 || b.compare(0, 4, "LASF") != 0) {
        ADD_FAILURE() << "not a LAS file";
        return f;
    }
    const char* p = b.data();
    f.major = uint8_t(p[24]);
    f.minor = uint8_t(p[25]);
    f.headerSize = load<uint16_t>(p + 94);
    f.pointOffset = load<uint32_t>(p + 96);
    f.vlrCount = load<uint32_t>(p + 100);
    f.format = uint8_t(p[104]);
    f.recordLength = load<uint16_t>(p + 105);
    f.legacyCount = load<uint32_t>(p + 107);
    for (int a = 0; a < 3; ++a) {
        f.scale[a] = load<double>(p + 131 + 8 * a);
        f.offset[a] = load<double>(p + 155 + 8 * a);
        f.max[a] = load<double>(p + 179 + 16 * a);
        f.min[a] = load<double>(p + 187 + 16 * a);
    }
    f.firstEvlr = load<uint64_t>(p + 235);
    f.evlrCount = load<uint32_t>(p + 243);
    f.pointCount = load<uint64_t>(p + 247);
    f.firstReturns = load<uint64_t>(p + 255);
    if (f.recordLength != 36 || f.pointOffset + f.pointCount * 36 > b.size()) {
        ADD_FAILURE() << "records do not fit the file";
        return f;
    }
    for (uint64_t i = 0; i < f.pointCount; ++i) {
        const char* r = p + f.pointOffset + 36 * i;
        LasPoint point;
        for (int a = 0; a < 3; ++a)
            point.xyz[a] = f.offset[a] + load<int32_t>(r + 4 * a) * f.scale[a];
        point.intensity = load<uint16_t>(r + 12);
        point.returns = uint8_t(r[14]);
        point.classification = uint8_t(r[16]);
        point.source = load<uint16_t>(r + 20);
        for (int c = 0; c < 3; ++c) point.rgb[c] = load<uint16_t>(r + 30 + 2 * c);
        f.points.push_back(point);
    }
    if (f.evlrCount >= 1 && f.firstEvlr + 60 <= b.size()) {
        const char* e = p + f.firstEvlr;
        f.evlrUser = std::string(e + 2, strnlen(e + 2, 16));
        f.evlrRecord = load<uint16_t>(e + 18);
        const uint64_t length = load<uint64_t>(e + 20);
        EXPECT_EQ(f.firstEvlr + 60 + length, b.size()) << "the record ends the file";
        f.evlrPayload = b.substr(f.firstEvlr + 60, length);
    }
    return f;
}

// The sample project converted into one NOX file, and where its LAS export goes.
class LasExport : public ::testing::Test {
protected:
    void SetUp() override {
        resetWriterSettings();
        const SampleInputs inputs = writeSampleInputs(folder);
        ASSERT_EQ(
            runTool(KS_NOXCONVERT_PATH, {"convert", inputs.project.string(), "-o", nox.string()})
                .exitCode,
            0);
    }
    const fs::path folder = scratchFolder();
    const fs::path nox = folder / "site.nox", las = folder / "site.las";
};

TEST_F(LasExport, EveryPointReadsBackInItsPlaceWithItsCloudAndTheHeaderCountsThem) {
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"export", nox.string(), las.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const LasFile f = readLas(readText(las));
    const ReadBack stored = readAll(nox);
    const nox::FileIndex index = readIndex(nox);
    ASSERT_EQ(f.major * 10 + f.minor, 14);
    EXPECT_EQ(f.headerSize, 375);
    EXPECT_EQ(f.pointOffset, 375u);
    EXPECT_EQ(f.vlrCount, 0u);
    EXPECT_EQ(f.format, 7);
    EXPECT_EQ(f.legacyCount, 0u) << "formats above 5 leave the legacy count zero";
    ASSERT_EQ(f.pointCount, stored.size());
    EXPECT_EQ(f.firstReturns, f.pointCount);
    EXPECT_EQ(f.firstEvlr, 375 + 36 * f.pointCount);
    // The grid is finer than the file's own quantisation step.
    for (const nox::ChunkRecord& chunk : index.chunks)
        for (int a = 0; a < 3; ++a) EXPECT_LE(f.scale[a], chunk.step / 2);

    double seenMin[3] = {1e300, 1e300, 1e300}, seenMax[3] = {-1e300, -1e300, -1e300};
    size_t cloud = 0;
    uint64_t left = index.clouds.at(0).points - index.clouds[0].nullPoints;
    for (size_t i = 0; i < f.points.size(); ++i) {
        while (left == 0) {
            ++cloud;
            left = index.clouds.at(cloud).points - index.clouds[cloud].nullPoints;
        }
        --left;
        const LasPoint& p = f.points[i];
        SCOPED_TRACE("point " + std::to_string(i));
        for (int a = 0; a < 3; ++a) {
            ASSERT_NEAR(p.xyz[a], stored.xyz[3 * i + a], f.scale[a] * 0.5 + 1e-9);
            seenMin[a] = std::min(seenMin[a], p.xyz[a]);
            seenMax[a] = std::max(seenMax[a], p.xyz[a]);
        }
        // Intensity unsigned: the stored signed value plus 32768; colour spread to 16 bits.
        ASSERT_EQ(p.intensity, uint16_t(stored.intensity[i] + 32768));
        for (int c = 0; c < 3; ++c) ASSERT_EQ(p.rgb[c], stored.rgb[3 * i + c] * 257);
        ASSERT_EQ(p.returns, 0x11);
        ASSERT_EQ(p.source, cloud);
    }
    EXPECT_EQ(cloud + 1, index.clouds.size());
    for (int a = 0; a < 3; ++a) {
        EXPECT_DOUBLE_EQ(f.min[a], seenMin[a]) << "axis " << a;
        EXPECT_DOUBLE_EQ(f.max[a], seenMax[a]) << "axis " << a;
    }

    // The extended record tells each point source's cloud: its scan and its matrix.
    EXPECT_EQ(f.evlrUser, "NOXFormats");
    EXPECT_EQ(f.evlrRecord, 1);
    const nlohmann::json listing = nlohmann::json::parse(f.evlrPayload);
    ASSERT_EQ(listing["clouds"].size(), index.clouds.size());
    for (size_t c = 0; c < index.clouds.size(); ++c) {
        const nlohmann::json& entry = listing["clouds"][c];
        EXPECT_EQ(entry["pointSourceId"], c);
        EXPECT_EQ(
            entry["matrix"].get<std::vector<double>>(),
            std::vector<double>(index.clouds[c].matrix.begin(), index.clouds[c].matrix.end()));
        const std::string scan = entry["scan"], label = entry["label"];
        EXPECT_FALSE(label.empty());
        if (entry["name"] == "") {
            EXPECT_TRUE(scan.ends_with(label)) << scan;
        }
    }
}

TEST_F(LasExport, AFileDamagedWhileExportedLeavesNoLasBehind) {
    // The viewer checks every chunk as it opens a file: the last one goes bad after that.
    hostkit::Result<hostkit::NoxScene> scene = hostkit::NoxScene::open(nox.string());
    ASSERT_TRUE(scene) << scene.refusal().reason;
    {
        const nox::ChunkRecord last = readIndex(nox).chunks.back();
        std::fstream file(nox, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::streamoff(last.offset + last.storedSize / 2));
        file.write(std::string(16, '\x5a').data(), 16);
    }
    const hostkit::Result<uint64_t> written = hostkit::exportLas(*scene, las.string());
    ASSERT_FALSE(written);
    EXPECT_NE(written.refusal().reason.find("damaged"), std::string::npos)
        << written.refusal().reason;
    EXPECT_FALSE(fs::exists(las));
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace ks_test
