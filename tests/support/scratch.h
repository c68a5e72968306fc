#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace ks_test {

// An empty folder of the running test's own under the build tree's scratch space.
inline std::filesystem::path testScratchDir(const char* area) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir = std::filesystem::path(KS_TEST_TMP_DIR) / area /
                                      (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace ks_test
