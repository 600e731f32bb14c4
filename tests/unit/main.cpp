/*
 * Unit-test main: the substitute platform starts from its defaults in every
 * test.
 */
#include <gtest/gtest.h>

#include "fake.h"

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
    ::testing::UnitTest::GetInstance()->listeners().Append(new fake_resetter);
    return RUN_ALL_TESTS();
}
