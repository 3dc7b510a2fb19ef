// Replaces GoogleTest's result printer in the win32 tests. Its own hands every failure and
// skip to OutputDebugStringA, which raises an exception; Wine under qemu on our machines
// dies of that, ending the run at the first failure. This one writes to stdout only.
#include <gtest/gtest.h>

#include <cstdio>

namespace {

class StdoutPrinter : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override
    {
        std::printf("[ RUN      ] %s.%s\n", info.test_suite_name(), info.name());
        std::fflush(stdout);
    }

    void OnTestPartResult(const ::testing::TestPartResult& result) override
    {
        std::printf("%s:%d: %s\n%s\n", result.file_name() ? result.file_name() : "?",
                    result.line_number(), result.skipped() ? "Skipped" : "Failure",
                    result.message());
        std::fflush(stdout);
    }

    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        const ::testing::TestResult& result = *info.result();
        const char* verdict = result.Skipped()  ? "  SKIPPED "
                              : result.Passed() ? "       OK "
                                                : "  FAILED  ";
        std::printf("[%s] %s.%s\n", verdict, info.test_suite_name(), info.name());
        std::fflush(stdout);
    }

    void OnTestProgramEnd(const ::testing::UnitTest& unit) override
    {
        std::printf("[==========] %d tests ran: %d passed, %d skipped, %d failed.\n",
                    unit.test_to_run_count(), unit.successful_test_count(),
                    unit.skipped_test_count(), unit.failed_test_count());
        for (int i = 0; i < unit.total_test_suite_count(); ++i) {
            const ::testing::TestSuite& suite = *unit.GetTestSuite(i);
            for (int j = 0; j < suite.total_test_count(); ++j)
                if (suite.GetTestInfo(j)->result()->Failed())
                    std::printf("[  FAILED  ] %s.%s\n", suite.name(), suite.GetTestInfo(j)->name());
        }
        std::fflush(stdout);
    }
};

const bool Installed = [] {
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new StdoutPrinter);
    return true;
}();

}  // namespace
