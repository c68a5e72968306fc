// The writer's chunk pipeline on its own (white-box): a bounded set of recycled buffers, and a
// failed write that reaches the caller with the file already gone. The file's sameness whatever
// the thread count, and stops with chunks in flight, are checked through the writer's C
// interface (writer_threads_test.cpp).
#include "chunk_pipeline.h"

#include <gtest/gtest.h>
#include <signal.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/scratch_folder.h"
#include "thread_test_support.h"
#include "writer_error.h"

using namespace ks_test;
using noxwriter::ChunkPipeline;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kCapacity = 4096;

ChunkPipeline::EncoderFactory encoders() {
    return [] { return std::make_unique<nox::ChunkEncoder>(); };
}

// A chunk of `count` points with some nulls, and the record it is handed over with. `spread`
// sets how far apart the points lie: large values make payloads that hardly compress.
nox::ChunkPoints makeChunk(uint32_t count, uint32_t channels, unsigned seed, int64_t spread) {
    std::mt19937_64 random(seed);
    nox::ChunkPoints points;
    points.reserve(kCapacity);
    points.channels = channels;
    int64_t at[3] = {0, 0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        if (random() % 10 == 0) {
            points.isNull[points.count++] = 1;
            continue;
        }
        const uint32_t v = points.valid++;
        points.isNull[points.count++] = 0;
        for (int a = 0; a < 3; ++a) points.steps[a][v] = at[a] += int64_t(random() % spread);
        points.intensity[v] = int16_t(random());
        for (int c = 0; c < 3; ++c) points.rgb[3 * v + c] = uint8_t(random());
        points.classes[v] = uint8_t(random() % 5);
    }
    return points;
}

nox::ChunkRecord recordOf(const nox::ChunkPoints& points) {
    nox::ChunkRecord record;
    record.points = points.count;
    record.nullPoints = points.count - points.valid;
    record.channels = points.channels;
    record.step = 0.001;
    return record;
}

// The caller always gets back a buffer that holds a whole chunk, and no more than 2 x threads + 1
// buffers ever exist, however many chunks pass.
TEST(ChunkPipeline, BuffersAreRecycledWithinTheLimit) {
    const fs::path folder = scratchFolder();
    noxwriter::SpillFile spill((folder / "recycled.nox").string());
    constexpr unsigned kThreads = 3;
    ChunkPipeline pipeline(spill, kThreads, kCapacity, encoders());
    const nox::ChunkPoints chunk = makeChunk(kCapacity, nox::kCloudIntensity, 7, 50);
    nox::ChunkPoints filling;
    filling.reserve(kCapacity);
    std::set<const int64_t*> buffers;
    std::vector<nox::ChunkRecord> records;
    for (int i = 0; i < 80; ++i) {
        buffers.insert(filling.steps[0].data());
        filling = chunk;
        nox::ChunkRecord record = recordOf(chunk);
        pipeline.submit(filling, record);
        records.push_back(record);
        ASSERT_GE(filling.steps[2].size(), kCapacity);
        ASSERT_GE(filling.normals.size(), 2 * kCapacity);
    }
    pipeline.finish(records);
    EXPECT_LE(buffers.size(), 2 * kThreads + 1);
    EXPECT_GT(buffers.size(), 1u);  // the buffers really were handed on
}

#if !defined(_WIN32)  // a file size limit (setrlimit)
// A write refused by the system (a file-size limit, in a child process): the worker removes the
// temporary file at once, the caller hears of it as kWriteFailed with the system's reason, and
// nothing more is written.
TEST(ChunkPipeline, FailedWriteReachesTheCaller) {
    const fs::path folder = scratchFolder();
    const int code = exitCodeInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{300000, 300000};
        setrlimit(RLIMIT_FSIZE, &limit);
        noxwriter::SpillFile spill((folder / "full.nox").string());
        ChunkPipeline pipeline(spill, 3, kCapacity, encoders());
        const nox::ChunkPoints chunk = makeChunk(kCapacity, nox::kCloudIntensity, 3, 1 << 30);
        nox::ChunkPoints filling;
        std::vector<nox::ChunkRecord> records;
        int failedAt = -1;
        for (int i = 0; i < 500 && failedAt < 0; ++i) {
            filling = chunk;
            nox::ChunkRecord record = recordOf(chunk);
            try {
                pipeline.submit(filling, record);
                records.push_back(record);
            } catch (const noxwriter::WriterError& error) {
                if (error.code() != noxwriter::kWriteFailed) return 10;
                failedAt = i;
            }
            if (pipeline.failed()) failedAt = i;
        }
        if (failedAt < 2) return 11;  // some chunks went in before the limit
        if (fs::exists(spill.temporaryPath())) return 12;
        try {
            pipeline.finish(records);
            return 13;
        } catch (const noxwriter::WriterError& error) {
            if (error.code() != noxwriter::kWriteFailed) return 14;
            if (std::string(error.what()).find("cannot write") == std::string::npos) return 15;
        }
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::is_empty(folder));
}
#endif

TEST(EncodingThreads, SettingIsAPositiveCountElseOnePerCore) {
    using noxwriter::encodingThreads;
    EXPECT_EQ(encodingThreads("3", 8), 3u);
    EXPECT_EQ(encodingThreads("1", 8), 1u);
    EXPECT_EQ(encodingThreads("12", 2), 12u);
    // Unset, empty or not a positive whole number: one per core.
    EXPECT_EQ(encodingThreads(nullptr, 8), 8u);
    EXPECT_EQ(encodingThreads("", 6), 6u);
    for (const char* invalid : {"0", "-2", "+2", " 2", "2 ", "2x", "two", "1.5"})
        EXPECT_EQ(encodingThreads(invalid, 4), 4u) << invalid;
    // Clamped; an unknown core count means one thread.
    EXPECT_EQ(encodingThreads("65", 4), noxwriter::kMaximumEncodingThreads);
    EXPECT_EQ(encodingThreads("99999999999999999999999", 4), noxwriter::kMaximumEncodingThreads);
    EXPECT_EQ(encodingThreads(nullptr, 0), 1u);
    EXPECT_EQ(encodingThreads(nullptr, 500), noxwriter::kMaximumEncodingThreads);
}

}  // namespace
