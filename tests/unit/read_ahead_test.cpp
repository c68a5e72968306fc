// Read-ahead hints: the range asked for reaches the page cache without a read, a range larger
// than the system takes in one request arrives whole, and nothing outside the range is fetched.
// Residence is seen through mincore on a mapping of the file. Where the file system cannot drop
// a file's pages (the test evicts them first), the tests skip.
#include "ks_common/read_ahead.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/input_file.h"
#include "support/scratch_folder.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

class ReadAheadTest : public testing::Test {
protected:
    // A file of size bytes, written, synced and then dropped from the page cache.
    void makeColdFile(uint64_t size) {
        path_ = ks_test::scratchFolder() / "data.bin";
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd_, 0);
        std::vector<unsigned char> block(kMiB, 0x5A);
        for (uint64_t written = 0; written < size; written += block.size())
            ASSERT_EQ(::write(fd_, block.data(), block.size()), ssize_t(block.size()));
        ASSERT_EQ(fdatasync(fd_), 0);
        size_ = size;
        ASSERT_EQ(posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED), 0);
        map_ = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_, 0);
        ASSERT_NE(map_, MAP_FAILED);
        if (residentBytes(0, size_) != 0)
            GTEST_SKIP() << "this file system keeps the file's pages in memory";
    }

    void TearDown() override {
        if (map_ != MAP_FAILED) munmap(map_, size_);
        if (fd_ >= 0) ::close(fd_);
    }

    // Bytes of [from, to) whose pages are in the page cache.
    uint64_t residentBytes(uint64_t from, uint64_t to) const {
        const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> pages((size_ + page - 1) / page);
        if (mincore(map_, size_, pages.data()) != 0) return 0;
        uint64_t resident = 0;
        for (uint64_t p = from / page; p < (to + page - 1) / page; ++p)
            if (pages[p] & 1) resident += page;
        return resident;
    }

    // The hint only starts the reads: waits until [from, to) is in (or `enough` bytes of it),
    // at most a generous while.
    bool becomesResident(uint64_t from, uint64_t to, uint64_t enough = 0) const {
        if (enough == 0) enough = to - from;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (residentBytes(from, to) < enough) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::filesystem::path path_;
    int fd_ = -1;
    void* map_ = MAP_FAILED;
    uint64_t size_ = 0;
};

TEST_F(ReadAheadTest, OnlyTheRangeAskedForArrives) {
    makeColdFile(8 * kMiB);
    if (IsSkipped()) return;
    // The same range through the helper on a descriptor, on a FILE, and through the library's
    // input file; page-aligned ends, so that the check does not depend on rounding.
    const auto check = [this](const char* how, const std::function<void()>& readAhead) {
        ASSERT_EQ(posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED), 0);
        ASSERT_EQ(residentBytes(0, size_), 0u);
        readAhead();
        EXPECT_TRUE(becomesResident(3 * kMiB, 5 * kMiB)) << how;
        EXPECT_EQ(residentBytes(0, 3 * kMiB), 0u) << how << ": before the range";
        EXPECT_EQ(residentBytes(5 * kMiB, size_), 0u) << how << ": after the range";
    };
    check("descriptor", [this] { ks_common::readAhead(fd_, 3 * kMiB, 2 * kMiB); });

    std::FILE* file = fdopen(dup(fd_), "rb");
    ASSERT_NE(file, nullptr);
    check("FILE", [file] { ks_common::readAhead(file, 3 * kMiB, 2 * kMiB); });
    std::fclose(file);

    const auto input = ks_formats::platform::InputFile::open(
        path_.string(), ks_formats::platform::InputFile::Order::FrontToBack);
    ASSERT_TRUE(input.isOpen()) << input.error();
    check("input file", [&input] { input.readAhead(3 * kMiB, 2 * kMiB); });
}

// Linux takes at most its read-ahead window (a few MiB at most on common disks) from one
// request; the helper hands a larger range over in pieces, so all of it is asked for. The hint
// is advice the kernel may decline in part under load (a CI run under the sanitizers once saw
// 45 MiB of 46 arrive), so the check is that far more than one window arrives.
TEST_F(ReadAheadTest, ARangeLargerThanOneRequestArrivesWhole) {
    makeColdFile(48 * kMiB);
    if (IsSkipped()) return;
    ks_common::adviseSequentialReading(fd_);
    ks_common::readAhead(fd_, kMiB, 46 * kMiB);
    EXPECT_TRUE(becomesResident(kMiB, 47 * kMiB, 40 * kMiB))
        << residentBytes(kMiB, 47 * kMiB) / kMiB << " MiB of 46 arrived";
    EXPECT_EQ(residentBytes(0, kMiB), 0u) << "before the range";
}

// A range running past the end of the file fetches what lies within the file.
TEST_F(ReadAheadTest, ARangePastTheEndFetchesWhatIsInTheFile) {
    makeColdFile(4 * kMiB);
    if (IsSkipped()) return;
    ks_common::readAhead(fd_, 3 * kMiB, uint64_t(1) << 40);
    EXPECT_TRUE(becomesResident(3 * kMiB, 4 * kMiB));
    EXPECT_EQ(residentBytes(0, 3 * kMiB), 0u);
}

}  // namespace
