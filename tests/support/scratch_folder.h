#pragma once
// Every test's files go below the build tree, in a folder of its own, so that tests running side
// by side never share files and a failed test's files are there to look at afterwards.
#include <filesystem>

namespace ks_test {

// A fresh, empty folder: <build>/tests/tmp/<program>/<Suite>.<Test> for the running test
// (<program>.<run> when the environment names a run in KS_TEST_RUN). In a
// suite's SetUpTestSuite it is <Suite>.<process id> instead: ctest runs each test of a suite in
// a process of its own, side by side, and each of them sets the suite up. Such a suite removes
// its folder in TearDownTestSuite. A second call in the same test empties the folder again.
std::filesystem::path scratchFolder();

}  // namespace ks_test
