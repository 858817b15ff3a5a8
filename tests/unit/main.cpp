#include <gtest/gtest.h>

#include "test_util.h"

namespace {
// The test executable may run with its heap validated on every operation
// (scripts/test-wine.sh): a heap error Wine reports fails the test it came in.
class HeapErrorListener : public testing::EmptyTestEventListener {
    long long m_start = 0;
    void OnTestStart(const testing::TestInfo&) override { m_start = testutil::HeapLogSize(); }
    void OnTestEnd(const testing::TestInfo& info) override
    {
        std::string errors = testutil::HeapErrors({GetCurrentProcessId()}, m_start);
        if (!errors.empty())
            std::fprintf(stderr, "[  HEAP    ] %s.%s:\n%s", info.test_suite_name(), info.name(), errors.c_str());
    }
};
}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new HeapErrorListener);
    return RUN_ALL_TESTS();
}
