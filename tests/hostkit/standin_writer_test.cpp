// A writer that stands in for ours (the recording stand-in, found first through LD_LIBRARY_PATH)
// has none of the extension functions: the host kit says the clean-up is not available and hands
// the thread count over the environment, as every writer reads it; nothing crashes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ks_formats/ks_formats.h"
#include "ks_hostkit/writer_extensions.h"
#include "ks_tools/held_library.h"
#include "support/library_session.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

TEST(StandInWriterExtensions, AreNotAvailableAndTheEnvironmentCarriesTheThreads) {
    ASSERT_EQ(ks_test::initializeOnce(), ks_formats::ResultSuccess);
    const ks_tools::HeldLibrary held("libNoxWriter.so");
    ASSERT_NE(held.function("ksTestReset"), nullptr)
        << "the recording stand-in is not the writer in use";
    EXPECT_EQ(held.function("ksioSetThreadCount"), nullptr);

    const fs::path folder = ks_test::scratchFolder();
    const std::string own = ".site.nox." + std::to_string(getpid()) + ".0.part";
    std::ofstream(folder / own) << "half a file";
    hostkit::WriterExtensions writer;
    const hostkit::Result<int> removed = writer.removeAbandonedFiles(folder.string());
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.refusal().kind, hostkit::RefusalKind::Unavailable);
    EXPECT_NE(removed.refusal().reason.find("has no ksioRemoveAbandonedSpillFilesW"),
              std::string::npos)
        << removed.refusal().reason;
    EXPECT_TRUE(fs::exists(folder / own)) << "a writer without the clean-up removes nothing";

    unsetenv("KS_NOX_THREADS");
    EXPECT_FALSE(writer.setThreadCount(3));
    ASSERT_NE(std::getenv("KS_NOX_THREADS"), nullptr);
    EXPECT_STREQ(std::getenv("KS_NOX_THREADS"), "3");
}

}  // namespace
