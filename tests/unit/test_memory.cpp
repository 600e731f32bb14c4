/*
 * Memory and swap: the two MiB rules, the zero total, the failure documents.
 */
#include "test_util.h"

TEST(Memory, DerivesFiguresFromByteCounts)
{
    fake_set_memory(UINT64_C(17179869184), UINT64_C(6710886400), UINT64_C(19327352832),
                    UINT64_C(8589934592));
    EXPECT_EQ(doc(hostlens_memory()),
              "{\"memory\":{\"used_mb\":9984,\"total_mb\":16384,\"percent\":60.9,"
              "\"available_mb\":6400,\"virtual_used_mb\":10240}}");
    EXPECT_EQ(doc(hostlens_swap()),
              "{\"swap\":{\"used_mb\":10240,\"total_mb\":18432,\"percent\":55.6}}");
}

TEST(Memory, PhysicalAndCommittedRulesRoundDifferently)
{
    /* 1.5 MiB total, 0.6 MiB available: physical use is 1 - 0, committed use
     * the truncated MiB of the byte difference, 0. */
    fake_set_memory(1572864, 629146, 1572864, 629146);
    hl_memory_info_t m;
    hl_impl_memory(&m);
    EXPECT_EQ(m.used_mb, 1);
    EXPECT_EQ(m.virtual_used_mb, 0);
    hl_swap_info_t s;
    hl_impl_swap(&s);
    EXPECT_EQ(s.used_mb, 0);
    EXPECT_EQ(s.total_mb, 1);
}

TEST(Memory, TotalBelowOneMiBGivesZeroPercent)
{
    fake_set_memory(1048575, 1000, 1048575, 1000);
    EXPECT_EQ(doc(hostlens_memory()), "{\"memory\":{\"used_mb\":0,\"total_mb\":0,\"percent\":0.0,"
                                      "\"available_mb\":0,\"virtual_used_mb\":0}}");
    EXPECT_EQ(doc(hostlens_swap()), "{\"swap\":{\"used_mb\":0,\"total_mb\":0,\"percent\":0.0}}");
}

TEST(Memory, TruncatesNeverRoundsUpAndHalfIsWhole)
{
    fake_set_memory(UINT64_C(8589934591), UINT64_C(4294967296), UINT64_C(8589934592),
                    UINT64_C(4294967296));
    hl_memory_info_t m;
    hl_impl_memory(&m);
    EXPECT_EQ(m.total_mb, 8191);
    hl_swap_info_t s;
    hl_impl_swap(&s);
    EXPECT_EQ(doc(hostlens_swap()),
              "{\"swap\":{\"used_mb\":4096,\"total_mb\":8192,\"percent\":50.0}}");
}

TEST(Memory, FailedQueryDocuments)
{
    fake_fail(FAKE_MEMORY_STATUS, 1, true);
    EXPECT_EQ(doc(hostlens_memory()),
              "{\"memory\":{\"used_mb\":\"unknown\",\"total_mb\":\"unknown\","
              "\"percent\":\"unknown\",\"available_mb\":\"unknown\","
              "\"virtual_used_mb\":\"unknown\"}}");
    EXPECT_EQ(doc(hostlens_swap()), "{\"swap\":{\"used_mb\":0,\"total_mb\":0,\"percent\":0.0}}");
}
