// The main of the test programs in the Windows build. GoogleTest's own result printer hands every
// failure to OutputDebugStringA as well, which raises an exception for a debugger to see; under
// Wine through qemu that exception kills the process, so the first failed check of a run would
// end it. This main prints the results itself, to standard output alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class PlainPrinter : public testing::EmptyTestEventListener {
public:
    void OnTestProgramStart(const testing::UnitTest& unit) override {
        std::printf("[==========] Running %d tests from %d test suites.\n",
                    unit.test_to_run_count(), unit.test_suite_to_run_count());
        std::fflush(stdout);
    }
    void OnTestStart(const testing::TestInfo& test) override {
        std::printf("[ RUN      ] %s.%s\n", test.test_suite_name(), test.name());
        std::fflush(stdout);
    }
    void OnTestPartResult(const testing::TestPartResult& result) override {
        if (result.type() == testing::TestPartResult::kSuccess) return;
        const char* kind = result.type() == testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        std::printf("%s:%d: %s\n%s\n", result.file_name() ? result.file_name() : "unknown file",
                    result.line_number(), kind, result.message());
        std::fflush(stdout);
    }
    void OnTestEnd(const testing::TestInfo& test) override {
        const testing::TestResult& result = *test.result();
        const char* mark = result.Failed()    ? "[  FAILED  ]"
                           : result.Skipped() ? "[  SKIPPED ]"
                                              : "[       OK ]";
        if (result.Failed())
            failed_.push_back(std::string(test.test_suite_name()) + "." + test.name());
        std::printf("%s %s.%s (%lld ms)\n", mark, test.test_suite_name(), test.name(),
                    static_cast<long long>(result.elapsed_time()));
        std::fflush(stdout);
    }
    void OnTestProgramEnd(const testing::UnitTest& unit) override {
        std::printf("[==========] %d tests ran.\n[  PASSED  ] %d tests.\n",
                    unit.test_to_run_count(), unit.successful_test_count());
        if (unit.skipped_test_count() > 0)
            std::printf("[  SKIPPED ] %d tests.\n", unit.skipped_test_count());
        for (const std::string& name : failed_) std::printf("[  FAILED  ] %s\n", name.c_str());
        if (!failed_.empty()) std::printf("%zu FAILED TESTS\n", failed_.size());
        std::fflush(stdout);
    }

private:
    std::vector<std::string> failed_;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new PlainPrinter);
    return RUN_ALL_TESTS();
}
