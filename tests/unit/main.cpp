/*
 * Unit-test main: the substitute platform starts from its defaults in every
 * test, and a thread's end reaches the library as it does in the DLL.
 */
#include <gtest/gtest.h>

#include "fake.h"
#include "hostlens_internal.h"

namespace
{
class fake_resetter : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo &) override
    {
        fake_reset();
    }
};
} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    fake_tls_on_thread_end(hl_thread_release);
    ::testing::UnitTest::GetInstance()->listeners().Append(new fake_resetter);
    return RUN_ALL_TESTS();
}
