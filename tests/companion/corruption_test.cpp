// The viewer refuses files it cannot trust, without crashing: truncated, extended, bit-flipped,
// of another major version, or not NOX at all. The chunk decoder survives arbitrary bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "checksum.h"
#include "chunk_codec.h"
#include "chunk_prediction.h"
#include "ks_formats/types.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"
#include "support/ascii_text.h"
#include "support/file_bytes.h"
#include "support/nox_checksum_repair.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/test_system.h"

using namespace ks_test;

namespace {

class Corruption : public testing::Test {
protected:
    void SetUp() override {
        resetWriterSettings();
        ASSERT_EQ(ksioStartStreamW(wide(good).c_str()), 1);
        ASSERT_EQ(ksioSetMetaTagW(KS_WIDE("Audit.CreatorApp"), KS_WIDE("corruption test")), 1);
        ASSERT_EQ(ksioAddGroupW(KSIO_GROUP_NORMALS, KS_WIDE("g")), 1);
        ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY | KSIO_CLOUD_CLASS,
                                KS_WIDE("c"), nullptr, 40, 50),
                  1);
        std::mt19937 random(3);
        for (int i = 0; i < 2000; ++i) {
            const double p[3] = {i * 0.01, (i % 50) * 0.02 + (random() % 5) * 0.001, 2.0};
            const uint8_t rgb[3] = {uint8_t(random()), 7, 9};
            const int32_t result =
                i % 11 == 0 ? ksioAddNullPoint()
                            : ksioAddPoint(p, rgb, int16_t(random()), nullptr, uint8_t(i % 3));
            ASSERT_EQ(result, 1);
        }
        ASSERT_EQ(ksioBuildNOXFile(), 1);
        bytes = readBytes(good);
        ASSERT_GT(bytes.size(), 1000u);
    }
    bool opens(const std::vector<uint8_t>& content) {
        writeBytes(bad, content);
        const uint64_t scene = ksOpenNOX(wide(bad).c_str());
        if (scene) ksRemoveScene(scene);
        return scene != 0;
    }
    // Rewrites a header field and its checksum, as a writer of that version would have.
    std::vector<uint8_t> withHeaderField(size_t offset, uint16_t value) {
        std::vector<uint8_t> copy = bytes;
        std::memcpy(&copy[offset], &value, 2);
        const uint64_t sum = nox::checksum64(copy.data(), 56);
        std::memcpy(&copy[56], &sum, 8);
        return copy;
    }
    const std::filesystem::path folder = scratchFolder();
    std::string good = (folder / "good.nox").string(), bad = (folder / "bad.nox").string();
    std::vector<uint8_t> bytes;
};

TEST_F(Corruption, IntactCopyOpens) { EXPECT_TRUE(opens(bytes)); }

TEST_F(Corruption, TruncatedOrExtendedFilesAreRefused) {
    for (size_t size : {size_t(0), size_t(1), size_t(8), size_t(63), size_t(64), size_t(65),
                        bytes.size() / 2, bytes.size() - 1}) {
        EXPECT_FALSE(opens(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(size))))
            << size;
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(opens(longer));
}

TEST_F(Corruption, AnyFlippedBitIsRefused) {
    // Every byte of the header, then a spread over chunks and index.
    std::vector<size_t> offsets;
    for (size_t i = 0; i < 64; ++i) offsets.push_back(i);
    for (size_t i = 64; i < bytes.size(); i += 1 + bytes.size() / 300) offsets.push_back(i);
    offsets.push_back(bytes.size() - 1);
    for (size_t offset : offsets) {
        std::vector<uint8_t> flipped = bytes;
        flipped[offset] ^= uint8_t(1u << (offset % 8));
        EXPECT_FALSE(opens(flipped)) << "bit flipped at " << offset;
    }
}

TEST_F(Corruption, OnlyTheKnownMajorVersionsOpen) {
    EXPECT_FALSE(opens(withHeaderField(8, 3)));
    EXPECT_FALSE(opens(withHeaderField(8, 0)));
    EXPECT_TRUE(opens(withHeaderField(10, 7)));  // a later minor version only adds what we may skip
}

TEST_F(Corruption, OtherInputsAreRefused) {
    EXPECT_EQ(ksOpenNOX(nullptr), 0u);
    EXPECT_EQ(ksOpenNOX(ks_test::widePath(folder / "missing.nox").c_str()), 0u);
    EXPECT_EQ(ksOpenNOX(ks_test::widePath(folder).c_str()), 0u);
    EXPECT_FALSE(opens(std::vector<uint8_t>(4096, 'x')));
}

TEST_F(Corruption, ChunkDecoderSurvivesArbitraryBytes) {
    const nox::FileIndex index = readIndex(good);
    ASSERT_FALSE(index.chunks.empty());
    const nox::ChunkRecord& record = index.chunks[0];
    const std::vector<uint8_t> payload(bytes.begin() + long(record.offset),
                                       bytes.begin() + long(record.offset + record.storedSize));
    nox::ChunkDecoder decoder;
    nox::ChunkPoints points;
    std::string reason;
    ASSERT_TRUE(decoder.decode(payload.data(), payload.size(), record, points, reason)) << reason;

    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> damaged = payload;
        const int changes = 1 + int(random() % 4);
        for (int k = 0; k < changes; ++k) damaged[random() % damaged.size()] = uint8_t(random());
        decoder.decode(damaged.data(), damaged.size(), record, points, reason);  // must not crash
        std::vector<uint8_t> noise(random() % 400);
        for (uint8_t& b : noise) b = uint8_t(random());
        EXPECT_FALSE(decoder.decode(noise.data(), noise.size(), record, points, reason));
    }
    nox::ChunkRecord wrongCounts = record;
    wrongCounts.nullPoints += 1;
    EXPECT_FALSE(decoder.decode(payload.data(), payload.size(), wrongCounts, points, reason));
}

// A file with valid checksums whose group declares the widest intensity range with normalising
// on: the range's width does not fit 32 bits. Reading it must neither overflow nor crash.
// The case is stored as the fuzzer found it: a control byte (bit 0 clear: repair the checksums),
// then the file.
TEST(CorruptionRegression, WidestIntensityRangeNormalisedIsReadSafely) {
    const std::vector<uint8_t> input =
        readBytes(KS_REGRESSIONS_DIR "/widest-intensity-range-normalised");
    ASSERT_FALSE(input.empty());
    std::vector<uint8_t> file(input.begin() + 1, input.end());
    if ((input[0] & 1) == 0) ks_test::repairNoxChecksums(file);
    const std::filesystem::path folder = scratchFolder();
    writeBytes(folder / "case.nox", file);
    const ReadBack back = readAll(folder / "case.nox");
    EXPECT_GT(back.size(), 0u);
}

// A chunk with an empty raw stream, found by the fuzzer: the decoder copied zero bytes into an
// empty buffer through a null pointer. Stored as the fuzzer found it (control byte, then file);
// the sanitizer builds fail on the undefined call. The file opens; its damaged chunk ends the
// query without points.
TEST(CorruptionRegression, EmptyRawStreamIsDecodedWithoutANullCopy) {
    const std::vector<uint8_t> input = readBytes(KS_REGRESSIONS_DIR "/empty-raw-stream");
    ASSERT_FALSE(input.empty());
    std::vector<uint8_t> file(input.begin() + 1, input.end());
    if ((input[0] & 1) == 0) ks_test::repairNoxChecksums(file);
    const std::filesystem::path folder = scratchFolder();
    writeBytes(folder / "case.nox", file);
    EXPECT_TRUE(ks_test::opensInViewer(folder / "case.nox"));
    EXPECT_EQ(readAll(folder / "case.nox").size(), 0u);
}

// A damaged file can hold step counts near 2^63; the grid plane prediction then wraps like every
// other prediction instead of overflowing (the sanitizer builds trap on that), and it rounds
// toward minus infinity on both sides of zero.
TEST(GridPrediction, PlaneWrapsOnHugeValuesAndRoundsDown) {
    const uint8_t isNull[8] = {};
    nox::GridNeighbours grid;
    grid.build(isNull, 8, 4, 0);  // two rows of four: point 6 has all four plane neighbours
    // (4 left + left-left + 3 up-right - 3 up-left) / 5 with left = point 5, left-left = 4,
    // up-right = 3, up-left = 1.
    uint64_t steps[8] = {0, 0, 0, 0, 0, uint64_t(-3), 0, 0};
    EXPECT_EQ(int64_t(nox::predict<nox::kPredictGridPlane>(steps, 6, &grid)), -3);  // -12 / 5
    steps[5] = 3;
    EXPECT_EQ(int64_t(nox::predict<nox::kPredictGridPlane>(steps, 6, &grid)), 2);  // 12 / 5
    const uint64_t huge = uint64_t(1) << 62;
    const uint64_t extremes[8] = {0, 0, 0, huge, huge, huge, 0, 0};
    // 4 + 1 + 3 times 2^62 wraps to 0 modulo 2^64.
    EXPECT_EQ(nox::predict<nox::kPredictGridPlane>(extremes, 6, &grid), 0u);
}

}  // namespace
