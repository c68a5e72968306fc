// `export` writes the points `info` counts, where `info` says they are.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/e57_reader.h"
#include "support/file_bytes.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/tool_output.h"
#include "support/tool_process.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;

constexpr double kPrinted = 0.0006;  // xyz text carries a few decimals

struct PlyLayout {
    uint64_t vertices = 0;
    size_t recordSize = 0;
    size_t headerSize = 0;
    std::vector<std::pair<std::string, std::string>> properties;  // type, name
};

size_t plyTypeSize(const std::string& type) {
    if (type == "char" || type == "uchar" || type == "int8" || type == "uint8") return 1;
    if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
    if (type == "int" || type == "uint" || type == "float" || type == "int32" || type == "uint32" ||
        type == "float32")
        return 4;
    if (type == "double" || type == "float64") return 8;
    return 0;
}

PlyLayout readPlyHeader(const std::string& bytes) {
    PlyLayout layout;
    const size_t end = bytes.find("end_header\n");
    if (end == std::string::npos) return layout;
    layout.headerSize = end + std::strlen("end_header\n");
    std::istringstream lines(bytes.substr(0, end));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first, second, third;
        words >> first >> second >> third;
        if (first == "format") {
            EXPECT_EQ(second, "binary_little_endian");
        }
        if (first == "element" && second == "vertex") layout.vertices = std::stoull(third);
        if (first == "property") {
            layout.properties.emplace_back(second, third);
            layout.recordSize += plyTypeSize(second);
        }
    }
    return layout;
}

class ExportAgrees : public ::testing::Test {
protected:
    void SetUp() override {
        folder = scratchFolder();
        inputs = writeSampleInputs(folder);
        nox = (folder / "site.nox").string();
        const ToolRun converted =
            runTool(KS_NOXCONVERT_PATH, {"convert", inputs.project.string(), "-o", nox});
        ASSERT_EQ(converted.exitCode, 0) << converted.err;
        const ToolRun infoRun = runTool(KS_NOXCONVERT_PATH, {"info", nox});
        ASSERT_EQ(infoRun.exitCode, 0) << infoRun.err;
        info = parseInfo(infoRun.out);
        ASSERT_TRUE(info.file.number("points").has_value()) << infoRun.out;
    }

    fs::path folder;
    SampleInputs inputs;
    std::string nox;
    Info info;
};

TEST_F(ExportAgrees, XyzHoldsEveryPointWithinTheInfoBounds) {
    const fs::path xyz = folder / "site.xyz";
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"export", nox, xyz.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::ifstream in(xyz);
    uint64_t lines = 0;
    Bounds seen{{1e300, 1e300, 1e300}, {-1e300, -1e300, -1e300}};
    for (std::string line; std::getline(in, line); ++lines) {
        std::istringstream words(line);
        double p[3];
        ASSERT_TRUE(words >> p[0] >> p[1] >> p[2]) << "line " << lines << ": " << line;
        for (int a = 0; a < 3; ++a) {
            seen.min[a] = std::min(seen.min[a], p[a]);
            seen.max[a] = std::max(seen.max[a], p[a]);
        }
    }
    EXPECT_EQ(lines, *info.file.number("points"));
    EXPECT_EQ(lines, 2 * inputs.wallPoints);
    const std::optional<Bounds> bounds = info.file.bounds();
    ASSERT_TRUE(bounds.has_value());
    for (int a = 0; a < 3; ++a) {
        EXPECT_NEAR(seen.min[a], bounds->min[a], kPrinted) << "axis " << a;
        EXPECT_NEAR(seen.max[a], bounds->max[a], kPrinted) << "axis " << a;
    }
}

TEST_F(ExportAgrees, PlyHeaderCountsThePointsThatFollowIt) {
    const fs::path ply = folder / "site.ply";
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"export", nox, ply.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string bytes = readText(ply);
    ASSERT_EQ(bytes.rfind("ply\n", 0), 0u);
    const PlyLayout layout = readPlyHeader(bytes);
    EXPECT_EQ(layout.vertices, *info.file.number("points"));
    ASSERT_GE(layout.properties.size(), 3u);
    EXPECT_EQ(layout.properties[0].second, "x");
    ASSERT_GT(layout.recordSize, 0u);
    EXPECT_EQ(bytes.size() - layout.headerSize, layout.vertices * layout.recordSize);

    // The first point lies on the wall.
    const std::optional<Bounds> bounds = info.file.bounds();
    ASSERT_TRUE(bounds.has_value());
    if (layout.properties[0].first == "double" && bytes.size() >= layout.headerSize + 24) {
        double first[3];
        std::memcpy(first, bytes.data() + layout.headerSize, sizeof first);
        for (int a = 0; a < 3; ++a) {
            EXPECT_GE(first[a], bounds->min[a] - kPrinted);
            EXPECT_LE(first[a], bounds->max[a] + kPrinted);
        }
    }
}

TEST_F(ExportAgrees, E57HoldsEveryPointInOneScanACloud) {
    const fs::path e57 = folder / "site.E57";  // the extension in any case
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"export", nox, e57.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(std::to_string(2 * inputs.wallPoints) + " points"), std::string::npos)
        << run.out;

    const E57File file = readE57(e57);
    for (const std::string& fault : file.faults) ADD_FAILURE() << fault;
    ASSERT_EQ(file.scans.size(), 2u);
    for (const E57Scan& scan : file.scans) {
        EXPECT_EQ(scan.recordCount, inputs.wallPoints);
        // Each scan position saw the whole wall, which lies where the project puts it.
        for (size_t i = 0; i < scan.recordCount; ++i) {
            const std::array<double, 3> world = scan.world(i);
            for (int a = 0; a < 3; ++a) {
                ASSERT_GE(world[a], inputs.wallMin[a] - 0.001) << "point " << i << " axis " << a;
                ASSERT_LE(world[a], inputs.wallMax[a] + 0.001) << "point " << i << " axis " << a;
            }
        }
    }
}

TEST_F(ExportAgrees, AnUnknownExportFormatIsRefused) {
    const fs::path laz = folder / "site.laz";
    const ToolRun run = runTool(KS_NOXCONVERT_PATH, {"export", nox, laz.string()});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_FALSE(fs::exists(laz));
}

}  // namespace
}  // namespace ks_test
