// The writer's extension functions reached through the host kit, in the writer that Initialize
// bound: the shipped one has them.
#include "ks_hostkit/writer_extensions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ks_formats/ks_formats.h"
#include "support/library_session.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

class ShippedWriterExtensions : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(ks_test::initializeOnce(), ks_formats::ResultSuccess);
    }
    const fs::path folder = ks_test::scratchFolder();
};

TEST_F(ShippedWriterExtensions, RemovesThisProcesssTemporaries) {
    const std::string own = ".site.nox." + std::to_string(getpid()) + ".0.part";
    std::ofstream(folder / own) << "half a file";
    std::ofstream(folder / "site.nox") << "a finished file";
    const hostkit::WriterExtensions writer;
    const hostkit::Result<int> removed = writer.removeAbandonedFiles(folder.string());
    ASSERT_TRUE(removed) << removed.refusal().reason;
    EXPECT_EQ(*removed, 1);
    EXPECT_FALSE(fs::exists(folder / own));
    EXPECT_TRUE(fs::exists(folder / "site.nox"));
}

TEST_F(ShippedWriterExtensions, WritersRefusalsComeWithItsReason) {
    hostkit::WriterExtensions writer;
    const hostkit::Result<int> removed = writer.removeAbandonedFiles((folder / "gone").string());
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.refusal().kind, hostkit::RefusalKind::Failed);
    EXPECT_NE(removed.refusal().reason.find("cannot list the folder"), std::string::npos)
        << removed.refusal().reason;

    const std::optional<hostkit::Refusal> tooMany = writer.setThreadCount(KSIO_MAX_THREADS + 1);
    ASSERT_TRUE(tooMany);
    EXPECT_EQ(tooMany->kind, hostkit::RefusalKind::Failed);
    EXPECT_NE(tooMany->reason.find("refused the thread count"), std::string::npos)
        << tooMany->reason;
    // The writer took the count itself: nothing went into the environment.
    EXPECT_FALSE(writer.setThreadCount(2));
    EXPECT_EQ(std::getenv("KS_NOX_THREADS"), nullptr);
}

}  // namespace
