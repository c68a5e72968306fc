// The writer with worker threads, through its C interface: the same file byte for byte whatever
// KS_NOX_THREADS says, failures answered as without workers, and streams that end early leave
// neither a thread nor a file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "ks_formats/types.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"
#include "source_points.h"
#include "support/ascii_text.h"
#include "support/file_bytes.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/test_system.h"
#include "thread_test_support.h"

using namespace ks_test;
namespace fs = std::filesystem;

// Allocation failure on demand: while armed, operator new fails on every thread but the test's
// own, which are the writer's workers. The writer library takes this operator new too.
namespace {
std::atomic<bool> failOtherThreads{false};
std::thread::id testThread;
}  // namespace

void* operator new(std::size_t size) {
    if (failOtherThreads.load(std::memory_order_acquire) &&
        std::this_thread::get_id() != testThread)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
// GCC takes free() on memory from operator new for a mismatch, not seeing that this operator new
// is malloc().
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

// Sets KS_NOX_THREADS while it lives; the writer reads it when a stream starts.
class ThreadSetting {
public:
    explicit ThreadSetting(const char* value) { ks_test::setEnvironment("KS_NOX_THREADS", value); }
    ~ThreadSetting() { ks_test::unsetEnvironment("KS_NOX_THREADS"); }
    ThreadSetting(const ThreadSetting&) = delete;
    ThreadSetting& operator=(const ThreadSetting&) = delete;
};

struct SourceCloud {
    uint32_t channels;
    std::array<double, 16> matrix;
    int32_t rows, columns;
    std::vector<SourcePoint> points;
};

struct SourceGroup {
    uint32_t flags;
    std::vector<SourceCloud> clouds;
};

constexpr double kStep = 0.001;
constexpr std::array<double, 16> kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// Quarter turns and georeferenced offsets: each world axis is one local axis, so the half-step
// bound holds per axis.
constexpr std::array<double, 16> kTurned{0, -1, 0, 512345.5, 1, 0, 0, 5412345.25,
                                         0, 0,  1, 312.5,    0, 0, 0, 1};
constexpr std::array<double, 16> kShifted{1, 0, 0, 512400.0, 0, 1, 0, 5412300.0,
                                          0, 0, 1, 300.0,    0, 0, 0, 1};
constexpr std::array<double, 16> kTurnedBack{0, 1, 0, 512300.0, -1, 0, 0, 5412400.0,
                                             0, 0, 1, 305.0,    0,  0, 0, 1};

// Several groups and clouds, each larger than a chunk: plain clouds with and without a grid and
// nulls, a grid whose normals the writer makes, and a group whose clouds become one.
std::vector<SourceGroup> makeScene() {
    const auto walk = [](size_t count, double nullShare, unsigned seed) {
        const double origin[3] = {0, 0, 0};
        return makePoints(count, origin, nullShare, seed);
    };
    constexpr uint32_t all = KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY | KSIO_CLOUD_CLASS;
    std::vector<SourceGroup> scene;
    scene.push_back({0,
                     {{all, kIdentity, 0, 0, walk(150000, 0.0, 1)},
                      {KSIO_CLOUD_INTENSITY, kTurned, 300, 400, walk(120000, 0.15, 2)}}});
    scene.push_back({KSIO_GROUP_NORMALS, {{all, kShifted, 250, 300, walk(75000, 0.1, 3)}}});
    scene.push_back({KSIO_GROUP_COMBINE,
                     {{KSIO_CLOUD_INTENSITY, kShifted, 0, 0, walk(70000, 0.0, 4)},
                      {KSIO_CLOUD_COLOUR, kTurnedBack, 0, 0, walk(70000, 0.0, 5)},
                      {KSIO_CLOUD_INTENSITY, kTurned, 0, 0, walk(70000, 0.0, 6)}}});
    return scene;
}

// Writes the scene; answers the number of threads the process had after the third chunk.
int writeScene(const std::vector<SourceGroup>& scene, const fs::path& path) {
    int threadsWhileWriting = -1;
    size_t added = 0;
    EXPECT_EQ(ksioStartStreamW(ks_test::widePath(path).c_str()), 1);
    for (const SourceGroup& group : scene) {
        EXPECT_EQ(ksioAddGroupW(group.flags, KS_WIDE("group")), 1);
        for (const SourceCloud& cloud : group.clouds) {
            EXPECT_EQ(ksioAddCloudW(cloud.channels, KS_WIDE("cloud"), cloud.matrix.data(),
                                    cloud.rows, cloud.columns),
                      1);
            for (const SourcePoint& p : cloud.points) {
                const int32_t result =
                    p.isNull ? ksioAddNullPoint()
                             : ksioAddPoint(p.xyz, p.rgb, p.intensity, nullptr, p.classification);
                if (result != 1) {
                    ADD_FAILURE() << "point refused with " << result;
                    return threadsWhileWriting;
                }
                if (++added == 3 * 65536 + 1) threadsWhileWriting = threadsNow();
            }
        }
    }
    EXPECT_EQ(ksioBuildNOXFile(), 1);
    return threadsWhileWriting;
}

// Every non-null point comes back in order: positions within half a step in world coordinates,
// the cloud's channels exactly; and each group's intensity range is that of its points.
void expectSceneReadsBack(const std::vector<SourceGroup>& scene, const fs::path& path) {
    const ReadBack got = readAll(path);
    size_t k = 0;
    for (const SourceGroup& group : scene) {
        for (const SourceCloud& cloud : group.clouds) {
            for (const SourcePoint& p : cloud.points) {
                if (p.isNull) continue;
                ASSERT_LT(k, got.size());
                double world[3];
                toWorld(cloud.matrix.data(), p.xyz, world);
                for (int a = 0; a < 3; ++a)
                    ASSERT_LE(std::fabs(got.xyz[3 * k + a] - world[a]), kStep / 2 + 1e-7)
                        << "point " << k << " axis " << a;
                const bool colour = cloud.channels & KSIO_CLOUD_COLOUR;
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(got.rgb[3 * k + c], colour ? p.rgb[c] : 0) << "point " << k;
                const bool intensity = cloud.channels & KSIO_CLOUD_INTENSITY;
                ASSERT_EQ(got.intensity[k], intensity ? p.intensity : 0) << "point " << k;
                ++k;
            }
        }
    }
    EXPECT_EQ(k, got.size());

    const nox::FileIndex index = readIndex(path);
    ASSERT_EQ(index.groups.size(), scene.size());
    for (size_t g = 0; g < scene.size(); ++g) {
        int32_t low = 1 << 20, high = -(1 << 20);
        for (const SourceCloud& cloud : scene[g].clouds)
            if (cloud.channels & KSIO_CLOUD_INTENSITY)
                for (const SourcePoint& p : cloud.points)
                    if (!p.isNull) {
                        low = std::min<int32_t>(low, p.intensity);
                        high = std::max<int32_t>(high, p.intensity);
                    }
        EXPECT_EQ(index.groups[g].intensityMin, low) << "group " << g;
        EXPECT_EQ(index.groups[g].intensityMax, high) << "group " << g;
    }
    // The payloads follow the header back to back, in chunk order.
    uint64_t next = nox::kHeaderSize;
    for (const nox::ChunkRecord& chunk : index.chunks) {
        EXPECT_EQ(chunk.offset, next);
        next = chunk.offset + chunk.storedSize;
    }
}

class WriterThreads : public testing::Test {
protected:
    void SetUp() override {
        resetWriterSettings();
        ksioDiscardStream();
    }
    void TearDown() override { ks_test::unsetEnvironment("KS_NOX_THREADS"); }
    const fs::path folder = scratchFolder();
};

TEST_F(WriterThreads, SameFileWhateverTheThreadCount) {
    const std::vector<SourceGroup> scene = makeScene();
    const int threadsBefore = threadsNow();
    std::vector<uint8_t> first;
    for (const char* threads : {"1", "2", "5"}) {
        SCOPED_TRACE(std::string("KS_NOX_THREADS=") + threads);
        const ThreadSetting setting(threads);
        const fs::path path = folder / (std::string("scene") + threads + ".nox");
        const int threadsWhileWriting = writeScene(scene, path);
        // One thread means none besides the caller's; more means that many workers (a writer
        // built without them encodes on the caller's thread whatever the setting).
#if defined(KS_WRITER_HAS_WORKERS)
        const int workers = std::atoi(threads) == 1 ? 0 : std::atoi(threads);
#else
        const int workers = 0;
#endif
        EXPECT_EQ(threadsWhileWriting, threadsBefore + workers);
        EXPECT_EQ(threadsNow(), threadsBefore);  // the build joined them
        const std::vector<uint8_t> bytes = readBytes(path);
        if (first.empty()) {
            first = bytes;
            expectSceneReadsBack(scene, path);
            EXPECT_GT(readIndex(path).chunks.size(), 9u);
        } else {
            EXPECT_TRUE(bytes == first) << "differs from the file written on one thread";
        }
    }
}

// Noise, so that chunks do not compress below a small file-size limit.
void addNoise(uint64_t i, int32_t& result) {
    uint64_t h = i * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    const double p[3] = {double(h % 100000) * 0.001, double(h >> 40) * 1e-4, double(h & 0xFFF)};
    const uint8_t rgb[3] = {uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(h >> 24)};
    result = ksioAddPoint(p, rgb, int16_t(h >> 32), nullptr, 0);
}

#if !defined(_WIN32)  // a file size limit (setrlimit) in a forked child
// A full disk in the middle of a stream, simulated by a file-size limit in a child process: the
// first call after the workers hit it answers 25 with the system's reason, the temporary file is
// already gone then, later calls and the build keep answering 25, and nothing is left.
TEST_F(WriterThreads, FullDiskMidStreamFailsAsWithoutWorkers) {
    const fs::path path = folder / "full.nox";
    const int code = exitCodeInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{12000000, 12000000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const ThreadSetting setting("4");
        if (ksioStartStreamW(ks_test::widePath(path).c_str()) != 1 ||
            ksioAddGroupW(0, KS_WIDE("g")) != 1 ||
            ksioAddCloudW(KSIO_CLOUD_INTENSITY | KSIO_CLOUD_COLOUR, KS_WIDE("c"), nullptr, 0, 0) !=
                1)
            return 10;
        int32_t first = 1;
        uint64_t i = 0;
        for (; i < 4000000 && first == 1; ++i) addNoise(i, first);
        if (first != 25) return 11;
        if (narrow(ksioGetLastErrorW()).find("cannot write") == std::string::npos) return 12;
        if (i < 200000) return 13;  // the limit was not reached in the middle of the stream
        if (!fs::is_empty(folder)) return 14;  // the temporary file is removed at once
        const double xyz[3] = {1, 2, 3};
        if (ksioAddPoint(xyz, nullptr, 0, nullptr, 0) != 25) return 15;
        if (narrow(ksioGetLastErrorW()).find("failed earlier") == std::string::npos) return 16;
        if (ksioBuildNOXFile() != 25) return 17;
        return fs::is_empty(folder) ? 0 : 18;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::is_empty(folder));
}
#endif

// Out of memory on a worker: the next call answers 26 "out of memory" as on the caller's thread,
// the stream has failed for good and its temporary file is gone.
TEST_F(WriterThreads, OutOfMemoryOnAWorkerReachesTheCaller) {
    const ThreadSetting setting("2");
    ASSERT_EQ(ksioStartStreamW(ks_test::widePath(folder / "memory.nox").c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("c"), nullptr, 0, 0), 1);
    testThread = std::this_thread::get_id();
    failOtherThreads.store(true, std::memory_order_release);
    int32_t first = 1;
    for (uint64_t i = 0; i < 20 * 65536 && first == 1; ++i) addNoise(i, first);
    failOtherThreads.store(false, std::memory_order_release);
    EXPECT_EQ(first, 26);
    EXPECT_EQ(narrow(ksioGetLastErrorW()), "out of memory");
    EXPECT_TRUE(fs::is_empty(folder));
    const double xyz[3] = {1, 2, 3};
    EXPECT_EQ(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 26);
    EXPECT_NE(narrow(ksioGetLastErrorW()).find("failed earlier"), std::string::npos);
    EXPECT_EQ(ksioBuildNOXFile(), 26);
    EXPECT_TRUE(fs::is_empty(folder));
}

#if defined(KS_WRITER_HAS_WORKERS)
constexpr int kWorkersOfFive = 5;
#else
constexpr int kWorkersOfFive = 0;
#endif

// Discarding a stream, or starting another, while workers are busy stops and joins them at once:
// no thread stays, and only the stream that was built leaves a file.
TEST_F(WriterThreads, StreamsEndedEarlyStopTheirWorkers) {
    const ThreadSetting setting("5");
    const int threadsBefore = threadsNow();
    const auto startBusyStream = [&](const char* name) {
        ASSERT_EQ(ksioStartStreamW(ks_test::widePath(folder / name).c_str()), 1);
        ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
        ASSERT_EQ(
            ksioAddCloudW(KSIO_CLOUD_INTENSITY | KSIO_CLOUD_COLOUR, KS_WIDE("c"), nullptr, 0, 0),
            1);
        int32_t result = 1;
        for (uint64_t i = 0; i < 12 * 65536 && result == 1; ++i) addNoise(i, result);
        ASSERT_EQ(result, 1);
        EXPECT_EQ(threadsNow(), threadsBefore + kWorkersOfFive);
    };

    startBusyStream("discarded.nox");
    ASSERT_EQ(ksioDiscardStream(), 1);
    EXPECT_EQ(threadsNow(), threadsBefore);
    EXPECT_TRUE(fs::is_empty(folder));

    startBusyStream("replaced.nox");
    startBusyStream("built.nox");  // replaces the open stream
    ASSERT_EQ(ksioBuildNOXFile(), 1);
    EXPECT_EQ(threadsNow(), threadsBefore);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"built.nox"});
    EXPECT_EQ(readAll(folder / "built.nox").size(), 12u * 65536);
}

#if !defined(_WIN32)  // the process exits in a forked child
// A process that exits with a stream open and its workers busy: the library's clean-up stops
// them, the process ends promptly and the temporary file is gone.
TEST_F(WriterThreads, ExitWithWorkersBusyEndsCleanly) {
    const int code = exitCodeInChild([&] {
        const ThreadSetting setting("4");
        ksioStartStreamW(ks_test::widePath(folder / "exit.nox").c_str());
        ksioAddGroupW(0, KS_WIDE("g"));
        ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("c"), nullptr, 0, 0);
        int32_t result = 1;
        for (uint64_t i = 0; i < 10 * 65536 && result == 1; ++i) addNoise(i, result);
        std::exit(result == 1 ? 0 : 1);
        return 2;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::is_empty(folder));
}
#endif

}  // namespace
