#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "support/test_system.h"

namespace fs = std::filesystem;

namespace ks_test {
namespace {

// The program's own name keeps apart tests of the same name in different programs, and the
// run's name (KS_TEST_RUN) the same tests run one by one and all in one process.
std::string programName() {
    std::string name = programFile().stem().string();
    if (const char* run = std::getenv("KS_TEST_RUN"); run && *run) name += std::string(".") + run;
    return name;
}

std::string ownerName() {
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    if (const testing::TestInfo* test = unit.current_test_info())
        return std::string(test->test_suite_name()) + "." + test->name();
    if (const testing::TestSuite* suite = unit.current_test_suite())
        return std::string(suite->name()) + "." + std::to_string(processId());
    throw std::logic_error("scratchFolder() called outside a test and a suite's set-up");
}

}  // namespace

fs::path scratchFolder() {
    const fs::path folder = fs::path(KS_TEST_TMP_DIR) / programName() / ownerName();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

}  // namespace ks_test
