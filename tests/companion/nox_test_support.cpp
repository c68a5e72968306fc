#include "nox_test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "index_codec.h"

namespace noxtest {

std::u16string wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string narrow(const char16_t* text) {
    std::string out;
    for (; text && *text; ++text) out.push_back(*text < 0x80 ? char(*text) : '?');
    return out;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "noxtest.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename());
    return names;
}

void resetWriterSettings() {
    ksioSetCompressionTolerance(0.001f);
    ksioSpatialFiltering(-1.0f, 1);
    ksioSetNormalQuality(1);
    ksioSetProgressCallbackW(nullptr);
}

ReadBack readAll(const std::string& path, uint32_t block) {
    ReadBack out;
    const uint64_t scene = ksOpenNOX(wide(path).c_str());
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

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

nox::FileIndex readIndex(const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    nox::FileHeader header;
    nox::FileIndex index;
    std::string reason;
    EXPECT_TRUE(nox::decodeHeader(bytes.data(), bytes.size(), header, reason)) << reason;
    EXPECT_TRUE(nox::decodeIndex(bytes.data() + header.indexOffset, header.indexSize,
                                 header.indexOffset, index, reason))
        << reason;
    return index;
}

}  // namespace noxtest
