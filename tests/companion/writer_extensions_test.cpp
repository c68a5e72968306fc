// The writer's extension functions, through the shipped library: the thread count a host sets is
// the one streams encode with, and the clean-up of a folder removes the temporary files no writer
// will finish while it keeps those of writers that still run.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ks_formats/types.h"
#include "nox_spill_name.h"
#include "nox_writer_api.h"
#include "nox_writer_extensions.h"
#include "support/ascii_text.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/test_system.h"
#include "thread_test_support.h"

using namespace ks_test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> sortedNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#if !defined(_WIN32)  // used by the tests of forked writers alone
void touch(const fs::path& path) {
    std::FILE* file = std::fopen(path.string().c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    std::fclose(file);
}
#endif

#if !defined(_WIN32)  // a child process made by fork
// A process that has ended: its id is free again (until the system hands it out anew).
pid_t endedProcess() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}
#endif

class WriterExtensions : public testing::Test {
protected:
    void SetUp() override {
        resetWriterSettings();
        ksioDiscardStream();
    }
    void TearDown() override {
        ksioSetThreadCount(0);
        ks_test::unsetEnvironment("KS_NOX_THREADS");
        ksioDiscardStream();
    }

    // Starts a stream and fills four chunks; answers the threads the process has then.
    int threadsWhileWriting(const char* name) {
        EXPECT_EQ(ksioStartStreamW(ks_test::widePath(folder / name).c_str()), 1);
        EXPECT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
        EXPECT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("c"), nullptr, 0, 0), 1);
        for (int i = 0; i < 4 * 65536 + 1; ++i) {
            const double xyz[3] = {i * 0.001, (i % 977) * 0.01, (i % 13) * 0.1};
            if (ksioAddPoint(xyz, nullptr, int16_t(i), nullptr, 0) != 1) {
                ADD_FAILURE() << "point " << i << " refused: " << narrow(ksioGetLastErrorW());
                break;
            }
        }
        const int threads = threadsNow();
        EXPECT_EQ(ksioDiscardStream(), 1);
        return threads;
    }

    const fs::path folder = scratchFolder();
};

TEST_F(WriterExtensions, ThreadCountIsTheOneStreamsEncodeWith) {
    const int before = threadsNow();
    ASSERT_EQ(ksioSetThreadCount(3), 1);
    EXPECT_EQ(threadsWhileWriting("three.nox"), before + 3);
    // The count set by the host wins over the environment.
    ks_test::setEnvironment("KS_NOX_THREADS", "5");
    EXPECT_EQ(threadsWhileWriting("still-three.nox"), before + 3);
    // One thread: the caller's own, no worker.
    ASSERT_EQ(ksioSetThreadCount(1), 1);
    EXPECT_EQ(threadsWhileWriting("one.nox"), before);
    // 0 goes back to the environment.
    ASSERT_EQ(ksioSetThreadCount(0), 1);
    EXPECT_EQ(threadsWhileWriting("environment.nox"), before + 5);
    EXPECT_EQ(threadsNow(), before);
}

TEST_F(WriterExtensions, ThreadCountOutOfRangeIsRefusedAndChangesNothing) {
    const int before = threadsNow();
    ASSERT_EQ(ksioSetThreadCount(2), 1);
    for (const int32_t count : {-1, KSIO_MAX_THREADS + 1, 1 << 30}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(ksioSetThreadCount(count), 23);
        const std::string reason = narrow(ksioGetLastErrorW());
        EXPECT_NE(reason.find("1 to 64"), std::string::npos) << reason;
        EXPECT_NE(reason.find(std::to_string(count)), std::string::npos) << reason;
    }
    EXPECT_EQ(threadsWhileWriting("two.nox"), before + 2);
    EXPECT_EQ(ksioSetThreadCount(KSIO_MAX_THREADS), 1);
}

#if !defined(_WIN32)  // a child process made by fork
// This process's own temporary files and those of ended processes go; those of a process that
// still runs, of a writer that holds its file's lock, and every other file stay.
TEST_F(WriterExtensions, AbandonedTemporariesGoLiveOnesStay) {
    const pid_t running = fork();
    if (running == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(running, 0);
    const pid_t ended = endedProcess(), endedLocked = endedProcess();
    const std::vector<std::string> abandoned = {
        noxwriter::spillFileName("site.nox", getpid(), 4),
        noxwriter::spillFileName("site.nox", ended, 0),
        noxwriter::spillFileName("other scan.nox", ended, 12),
    };
    const std::vector<std::string> kept = {
        noxwriter::spillFileName("site.nox", running, 0),
        noxwriter::spillFileName("site.nox", endedLocked, 1),
        "site.nox",
        "site.nox." + std::to_string(ended) + ".0.part",   // not hidden
        ".site.nox." + std::to_string(ended) + ".part",    // no counter
        ".site.nox.x" + std::to_string(ended) + ".0.part"  // not a number
    };
    for (const std::string& name : abandoned) touch(folder / name);
    for (const std::string& name : kept) touch(folder / name);
    // A writer elsewhere (another machine sharing the folder) holds its file's lock.
    const int lockedFd = open((folder / kept[1]).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lockedFd, 0);
    ASSERT_EQ(flock(lockedFd, LOCK_EX), 0);

    int32_t removed = -1;
    const int32_t result =
        ksioRemoveAbandonedSpillFilesW(ks_test::widePath(folder).c_str(), &removed);
    close(lockedFd);
    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);

    EXPECT_EQ(result, 1) << narrow(ksioGetLastErrorW());
    EXPECT_EQ(removed, static_cast<int32_t>(abandoned.size()));
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedNames(folder), expected);
}
#endif

// What a host calls when its second Ctrl-C ends the process: the temporary file of the stream
// this process still writes goes too.
TEST_F(WriterExtensions, OwnOpenStreamsTemporaryGoes) {
    ASSERT_EQ(ksioStartStreamW(ks_test::widePath(folder / "busy.nox").c_str()), 1);
    ASSERT_EQ(sortedNames(folder).size(), 1u);
    int32_t removed = 0;
    EXPECT_EQ(ksioRemoveAbandonedSpillFilesW(ks_test::widePath(folder).c_str(), &removed), 1);
    EXPECT_EQ(removed, 1);
    EXPECT_TRUE(fs::is_empty(folder));
    // Nothing to remove the second time; the count may be left out.
    EXPECT_EQ(ksioRemoveAbandonedSpillFilesW(ks_test::widePath(folder).c_str(), nullptr), 1);
}

TEST_F(WriterExtensions, FolderThatCannotBeListedIsRefused) {
    int32_t removed = -1;
    EXPECT_EQ(ksioRemoveAbandonedSpillFilesW(nullptr, &removed), 23);
    EXPECT_EQ(removed, 0);
    EXPECT_NE(narrow(ksioGetLastErrorW()).find("the folder is null"), std::string::npos);

    const fs::path missing = folder / "no such folder";
    removed = -1;
    EXPECT_EQ(ksioRemoveAbandonedSpillFilesW(ks_test::widePath(missing).c_str(), &removed), 23);
    EXPECT_EQ(removed, 0);
    const std::string reason = narrow(ksioGetLastErrorW());
    EXPECT_NE(reason.find("cannot list the folder " + missing.string()), std::string::npos)
        << reason;
    EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;
}

}  // namespace
