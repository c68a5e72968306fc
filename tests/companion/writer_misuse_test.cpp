// Misuse and failure of the writer: clear codes and texts, never a crash, and never a file under
// the output name unless a build succeeded.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ks_formats/types.h"
#include "nox_spill_name.h"
#include "nox_writer_api.h"
#include "support/ascii_text.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/test_system.h"

using namespace ks_test;

namespace {

// The names in a folder, the writer's hidden temporary files included.
std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

#if !defined(_WIN32)  // a child process made by fork
// A child process that writes 100,000 points to path and is killed before it builds; answers
// its process id once it has ended, and whether it ended by the signal.
pid_t killedWriter(const std::string& path, bool& killed) {
    const pid_t child = fork();
    if (child == 0) {
        const double xyz[3] = {1, 2, 3};
        ksioStartStreamW(wide(path).c_str());
        ksioAddGroupW(0, KS_WIDE("g"));
        ksioAddCloudW(0, KS_WIDE("c"), nullptr, 0, 0);
        for (int i = 0; i < 100000; ++i) ksioAddPoint(xyz, nullptr, 0, nullptr, 0);
        ksioEndStream();
        raise(SIGKILL);
    }
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    killed = child > 0 && WIFSIGNALED(status);
    return child;
}
#endif

class WriterMisuse : public testing::Test {
protected:
    void SetUp() override {
        resetWriterSettings();
        ksioDiscardStream();
    }
    void expectFailure(int32_t result, int32_t code) {
        EXPECT_EQ(result, code);
        EXPECT_FALSE(narrow(ksioGetLastErrorW()).empty());
    }
    const std::filesystem::path folder = scratchFolder();
    const double xyz[3] = {1, 2, 3};
};

TEST_F(WriterMisuse, CallsWithoutStreamAreRefused) {
    expectFailure(ksioAddGroupW(0, KS_WIDE("g")), 20);
    expectFailure(ksioAddCloudW(0, KS_WIDE("c"), nullptr, 0, 0), 20);
    expectFailure(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 20);
    expectFailure(ksioAddNullPoint(), 20);
    expectFailure(ksioEndStream(), 20);
    expectFailure(ksioBuildNOXFile(), 20);
    expectFailure(ksioDiscardStream(), 20);
    EXPECT_NE(narrow(ksioGetLastErrorW()).find("ksioStartStreamW"), std::string::npos);
    // Settings and tags need no stream.
    EXPECT_EQ(ksioSetCompressionTolerance(0.01f), 1);
    EXPECT_EQ(ksioSetMetaTagW(KS_WIDE("Audit.CreatorApp"), KS_WIDE("tests")), 1);
}

TEST_F(WriterMisuse, OrderAndArgumentsAreChecked) {
    const std::string path = (folder / "out.nox").string();
    ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
    expectFailure(ksioAddCloudW(0, KS_WIDE("c"), nullptr, 0, 0), 21);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    expectFailure(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 22);
    expectFailure(ksioAddNullPoint(), 22);
    expectFailure(ksioAddGroupW(0, nullptr), 23);
    expectFailure(ksioAddCloudW(0, KS_WIDE("c"), nullptr, 3, 0), 23);
    expectFailure(ksioAddCloudW(0, KS_WIDE("c"), nullptr, -1, -1), 23);
    const double badMatrix[16] = {NAN};
    expectFailure(ksioAddCloudW(0, KS_WIDE("c"), badMatrix, 0, 0), 23);
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("c"), nullptr, 0, 0), 1);
    expectFailure(ksioAddPoint(nullptr, nullptr, 0, nullptr, 0), 23);
    const double infinite[3] = {1, INFINITY, 0}, huge[3] = {0, 0, 2e12};
    expectFailure(ksioAddPoint(infinite, nullptr, 0, nullptr, 0), 23);
    expectFailure(ksioAddPoint(huge, nullptr, 0, nullptr, 0), 23);
    expectFailure(ksioSetCompressionTolerance(NAN), 23);
    expectFailure(ksioSpatialFiltering(0.5f, 7), 23);
    expectFailure(ksioSetNormalQuality(0), 23);
    expectFailure(ksioSetMetaTagW(KS_WIDE(""), KS_WIDE("x")), 23);
    expectFailure(ksioSetUserMetaTagW(KS_WIDE("name"), nullptr), 23);
    ASSERT_EQ(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 1);
    ASSERT_EQ(ksioEndStream(), 1);
    EXPECT_EQ(ksioEndStream(), 1);  // ending twice is harmless
    expectFailure(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 27);
    expectFailure(ksioAddGroupW(0, KS_WIDE("late")), 27);
    ASSERT_EQ(ksioBuildNOXFile(), 1);
    EXPECT_EQ(readAll(path).size(), 1u);    // the refused calls left nothing behind
    expectFailure(ksioBuildNOXFile(), 20);  // the built stream is closed
}

TEST_F(WriterMisuse, MissingOutputFolderFailsAtStart) {
    expectFailure(ksioStartStreamW(ks_test::widePath(folder / "no/such/folder/out.nox").c_str()),
                  24);
    expectFailure(ksioStartStreamW(nullptr), 23);
    expectFailure(ksioStartStreamW(KS_WIDE("")), 23);
    expectFailure(ksioAddGroupW(0, KS_WIDE("g")), 20);
}

// Whatever way a stream ends without a build, no file appears under the output name and the
// temporary file beside it is gone.
TEST_F(WriterMisuse, UnbuiltStreamsLeaveNoFile) {
    const std::string first = (folder / "first.nox").string(),
                      second = (folder / "second.nox").string();
    ASSERT_EQ(ksioStartStreamW(wide(first).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("c"), nullptr, 0, 0), 1);
    for (int i = 0; i < 100000; ++i) ASSERT_EQ(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 1);
    EXPECT_EQ(namesIn(folder).size(), 1u);  // the spill file, hidden beside the output
    // Starting another stream discards the open one.
    ASSERT_EQ(ksioStartStreamW(wide(second).c_str()), 1);
    EXPECT_FALSE(std::filesystem::exists(first));
    ASSERT_EQ(ksioDiscardStream(), 1);
    EXPECT_TRUE(namesIn(folder).empty());

#if !defined(_WIN32)  // a child process made by fork
    // A process killed in the middle of a stream: only a hidden temporary file can remain.
    bool killed = false;
    const pid_t child = killedWriter(first, killed);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(killed);
    EXPECT_FALSE(std::filesystem::exists(first));
    ASSERT_EQ(namesIn(folder).size(), 1u) << "the killed stream's temporary file";
    for (const std::string& name : namesIn(folder)) {
        EXPECT_EQ(name.rfind(".first.nox.", 0), 0u) << name;
        // Recognised as the child's leftover, by the name a host's clean-up looks for.
        EXPECT_TRUE(noxwriter::isSpillFileOf(name, child)) << name;
        EXPECT_FALSE(noxwriter::isSpillFileOf(name, ::getpid())) << name;
    }
#endif
}

#if !defined(_WIN32)  // a child process made by fork
// A process killed while writing leaves its temporary file; the next writer of the same output
// removes it, and nothing else: not the leftovers of other outputs, not a file of a process that
// still runs or whose lock is held, not a name that only resembles the writer's.
TEST_F(WriterMisuse, NextWriterOfAnOutputRemovesWhatAKilledOneLeft) {
    const std::string output = (folder / "site.nox").string();
    bool killed = false, killedOther = false;
    const pid_t dead = killedWriter(output, killed);
    const pid_t deadOther = killedWriter((folder / "other.nox").string(), killedOther);
    ASSERT_TRUE(killed && killedOther);
    ASSERT_EQ(namesIn(folder).size(), 2u);

    // A writer that still runs (a child that waits), under the same output name.
    const pid_t running = fork();
    if (running == 0) {
        pause();
        _exit(0);
    }
    const auto touch = [&](const std::string& name) {
        std::FILE* file = std::fopen((folder / name).c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    };
    const std::string live = noxwriter::spillFileName("site.nox", running, 0);
    const std::string locked = noxwriter::spillFileName("site.nox", dead, 7);
    const std::string deadName = std::to_string(dead);
    const std::vector<std::string> lookalikes = {
        "site.nox." + deadName + ".0.part",       // not hidden
        ".site.nox." + deadName + ".part",        // no counter
        ".site.nox." + deadName + ".0.part.bak",  // another suffix
        ".site.nox.x" + deadName + ".0.part",     // not a number
        ".ite.nox." + deadName + ".0.part",       // another output name
        ".site.nox.tmp." + deadName + ".0.part",  // the name of output "site.nox.tmp"
    };
    touch(live);
    touch(locked);
    for (const std::string& name : lookalikes) touch(name);
    // A writer elsewhere (another machine sharing the folder) holds its file's lock.
    const int lockedFd = open((folder / locked).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lockedFd, 0);
    ASSERT_EQ(flock(lockedFd, LOCK_EX), 0);

    ASSERT_EQ(ksioStartStreamW(wide(output).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("c"), nullptr, 0, 0), 1);
    ASSERT_EQ(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 1);
    ASSERT_EQ(ksioEndStream(), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);
    close(lockedFd);
    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);

    std::vector<std::string> left = namesIn(folder);
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = lookalikes;
    expected.insert(expected.end(), {live, locked, "site.nox"});
    for (const std::string& name : namesIn(folder))
        if (noxwriter::isSpillFileOf(name, deadOther)) expected.push_back(name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(
        noxwriter::spillFileProcess(noxwriter::spillFileName("site.nox", dead, 3), "site.nox"),
        dead);
}
#endif

#if !defined(_WIN32)  // a child process made by fork
// A full disk, simulated by a file-size limit in a child process: the failing call says so,
// later calls keep saying so, and the build leaves no file.
TEST_F(WriterMisuse, FullDiskFailsCleanly) {
    const std::string path = (folder / "full.nox").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200000, 200000};
        setrlimit(RLIMIT_FSIZE, &limit);
        ksioStartStreamW(wide(path).c_str());
        ksioAddGroupW(0, KS_WIDE("g"));
        ksioAddCloudW(KSIO_CLOUD_INTENSITY | KSIO_CLOUD_COLOUR, KS_WIDE("c"), nullptr, 0, 0);
        int32_t first = 1;
        for (int i = 0; i < 2000000 && first == 1; ++i) {
            // Noise, so that the chunks cannot compress below the limit.
            uint64_t h = uint64_t(i) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 29;
            const double p[3] = {double(h % 100000) * 0.001, double(h >> 40) * 1e-4,
                                 double(h & 0xFFF)};
            const uint8_t rgb[3] = {uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(h >> 24)};
            first = ksioAddPoint(p, rgb, int16_t(h >> 32), nullptr, 0);
        }
        const bool textSaysSo =
            narrow(ksioGetLastErrorW()).find("cannot write") != std::string::npos;
        const int32_t later = ksioAddPoint(xyz, nullptr, 0, nullptr, 0);
        const int32_t build = ksioBuildNOXFile();
        _exit(first == 25 && later == 25 && build == 25 && textSaysSo ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(namesIn(folder).empty());
}
#endif

TEST_F(WriterMisuse, BuildReportsRisingProgressEndingAtOne) {
    static std::vector<float> seen;
    seen.clear();
    ASSERT_EQ(ksioSetProgressCallbackW([](float fraction) { seen.push_back(fraction); }), 1);
    const std::string path = (folder / "progress.nox").string();
    ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioEndStream(), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0.0f);
    EXPECT_EQ(seen.back(), 1.0f);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
    EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
