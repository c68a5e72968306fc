// Files of the first format version still read, and the current coding changes nothing but the
// size: the same scene written now delivers exactly the points, clouds and facts of the fixture
// the first version's writer made, and no chunk got bigger.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fixture_scene.h"
#include "lyrant_api.h"
#include "support/file_bytes.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/test_system.h"

using namespace ks_test;

namespace {

const std::filesystem::path kVersion1 = std::filesystem::path(KS_FIXTURES_DIR) / "version1.nox";

uint16_t majorVersion(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    return bytes.size() < 10 ? 0 : uint16_t(bytes[8] | bytes[9] << 8);
}

struct CloudFacts {
    std::string name;
    uint64_t points = 0;
    uint32_t content = 0;
    std::array<double, 16> matrix{};
};

std::vector<CloudFacts> cloudFacts(const std::filesystem::path& path) {
    const uint64_t scene = ksOpenNOX(ks_test::widePath(path).c_str());
    std::vector<CloudFacts> facts;
    if (scene == 0) return facts;
    int32_t clouds = 0;
    ksSceneInfo(scene, nullptr, &clouds, nullptr, nullptr, nullptr, nullptr);
    for (int32_t c = 0; c < clouds; ++c) {
        CloudFacts cloud;
        ks_char name[KS_NAME_UNITS] = {};
        ksCloudInfo(scene, c, name, &cloud.points, &cloud.content, cloud.matrix.data());
        cloud.name = narrow(name);
        facts.push_back(cloud);
    }
    ksRemoveScene(scene);
    return facts;
}

class VersionCompatibility : public testing::Test {
protected:
    void SetUp() override { resetWriterSettings(); }
    void TearDown() override { ks_test::unsetEnvironment("KS_NOX_FORMAT_VERSION"); }
    const std::filesystem::path folder = scratchFolder();
};

TEST_F(VersionCompatibility, FirstVersionFileReadsAsTheSameSceneWrittenNow) {
    ASSERT_EQ(majorVersion(kVersion1), 1);
    const std::filesystem::path current = folder / "current.nox";
    ASSERT_TRUE(writeFixtureScene(current.string()));
    ASSERT_EQ(majorVersion(current), 2);

    const ReadBack old = readAll(kVersion1), now = readAll(current);
    ASSERT_EQ(old.size(), 81744u);
    EXPECT_EQ(old.xyz, now.xyz);  // the same quantisation: bit for bit
    EXPECT_EQ(old.rgb, now.rgb);
    EXPECT_EQ(old.intensity, now.intensity);
    EXPECT_EQ(old.normals, now.normals);
    EXPECT_EQ(old.classes, now.classes);

    const std::vector<CloudFacts> oldClouds = cloudFacts(kVersion1), clouds = cloudFacts(current);
    ASSERT_EQ(oldClouds.size(), 4u);
    ASSERT_EQ(clouds.size(), oldClouds.size());
    for (size_t c = 0; c < clouds.size(); ++c) {
        EXPECT_EQ(clouds[c].name, oldClouds[c].name);
        EXPECT_EQ(clouds[c].points, oldClouds[c].points);
        EXPECT_EQ(clouds[c].content, oldClouds[c].content);
        EXPECT_EQ(clouds[c].matrix, oldClouds[c].matrix);
    }
}

// Every kind of chunk in the scene (grid with gaps, unstructured, normals, combined clouds):
// the current coding may choose the first one's predictors, so none comes out bigger.
TEST_F(VersionCompatibility, NoChunkIsBiggerThanInTheFirstVersion) {
    const std::filesystem::path current = folder / "current.nox";
    ASSERT_TRUE(writeFixtureScene(current.string()));
    const nox::FileIndex old = readIndex(kVersion1), now = readIndex(current);
    ASSERT_EQ(now.chunks.size(), old.chunks.size());
    uint64_t oldTotal = 0, nowTotal = 0;
    for (size_t c = 0; c < now.chunks.size(); ++c) {
        EXPECT_EQ(now.chunks[c].points, old.chunks[c].points);
        EXPECT_LE(now.chunks[c].storedSize, old.chunks[c].storedSize) << "chunk " << c;
        oldTotal += old.chunks[c].storedSize;
        nowTotal += now.chunks[c].storedSize;
    }
    EXPECT_LT(nowTotal, oldTotal);
}

// Older readers can still be served: the writer writes the first version on request, with the
// fixture's chunks byte for byte.
TEST_F(VersionCompatibility, WriterStillWritesTheFirstVersionOnRequest) {
    ks_test::setEnvironment("KS_NOX_FORMAT_VERSION", "1");
    const std::filesystem::path old = folder / "old.nox";
    ASSERT_TRUE(writeFixtureScene(old.string()));
    EXPECT_EQ(majorVersion(old), 1);
    const nox::FileIndex written = readIndex(old), fixture = readIndex(kVersion1);
    ASSERT_EQ(written.chunks.size(), fixture.chunks.size());
    for (size_t c = 0; c < written.chunks.size(); ++c) {
        EXPECT_EQ(written.chunks[c].storedSize, fixture.chunks[c].storedSize) << "chunk " << c;
        EXPECT_EQ(written.chunks[c].checksum, fixture.chunks[c].checksum) << "chunk " << c;
    }
}

}  // namespace
