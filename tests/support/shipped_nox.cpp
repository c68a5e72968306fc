#include "support/shipped_nox.h"

#include <gtest/gtest.h>

#include <string>

#include "index_codec.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"
#include "nox_writer_extensions.h"
#include "support/file_bytes.h"
#include "support/test_system.h"

namespace ks_test {

void resetWriterSettings() {
    ksioSetCompressionTolerance(0.001f);
    ksioSpatialFiltering(-1.0f, 1);
    ksioSetNormalQuality(1);
    ksioSetProgressCallbackW(nullptr);
    ksioSetThreadCount(0);
}

bool opensInViewer(const std::filesystem::path& path) {
    const uint64_t scene = ksOpenNOX(ks_test::widePath(path).c_str());
    if (scene == 0) return false;
    ksRemoveScene(scene);
    return true;
}

ReadBack readAll(const std::filesystem::path& path, uint32_t block) {
    ReadBack out;
    const uint64_t scene = ksOpenNOX(ks_test::widePath(path).c_str());
    EXPECT_NE(scene, 0u) << path;
    if (scene == 0) return out;
    const uint64_t query = ksCreateVisPointsQuery();
    EXPECT_EQ(ksSetQueryScope(query, scene), 1);
    std::vector<double> xyz(3 * size_t(block));
    std::vector<uint8_t> rgb(3 * size_t(block)), classes(block);
    std::vector<int16_t> intensity(block);
    std::vector<float> normals(3 * size_t(block));
    while (const uint32_t n = ksGetQueryPointsd(query, block, xyz.data(), rgb.data(),
                                                intensity.data(), normals.data(), classes.data())) {
        out.xyz.insert(out.xyz.end(), xyz.begin(), xyz.begin() + 3 * n);
        out.rgb.insert(out.rgb.end(), rgb.begin(), rgb.begin() + 3 * n);
        out.intensity.insert(out.intensity.end(), intensity.begin(), intensity.begin() + n);
        out.normals.insert(out.normals.end(), normals.begin(), normals.begin() + 3 * n);
        out.classes.insert(out.classes.end(), classes.begin(), classes.begin() + n);
    }
    EXPECT_EQ(ksDeleteQuery(query), 1);
    EXPECT_EQ(ksRemoveScene(scene), 1);
    return out;
}

nox::FileIndex readIndex(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    nox::FileHeader header;
    nox::FileIndex index;
    std::string reason;
    if (!nox::decodeHeader(bytes.data(), bytes.size(), header, reason)) {
        ADD_FAILURE() << path << ": " << reason;
        return index;
    }
    EXPECT_TRUE(nox::decodeIndex(bytes.data() + header.indexOffset, header.indexSize,
                                 header.indexOffset, index, reason))
        << reason;
    return index;
}

}  // namespace ks_test
