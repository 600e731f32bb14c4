/*
 * The real DLL under Wine: the export table, the documents' shape, and the
 * memory figures against the test's own GlobalMemoryStatusEx.
 */
#include "wine_common.h"

#include <string.h>

TEST(WineExports, SmallExportsAnswer)
{
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_version"))(), HOSTLENS_VERSION_STRING);
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
}

TEST(WineMemory, MatchesGlobalMemoryStatusEx)
{
    MEMORYSTATUSEX before, after;
    before.dwLength = after.dwLength = sizeof before;
    ASSERT_TRUE(GlobalMemoryStatusEx(&before));
    auto doc = hl_parse(hl_call("hostlens_memory"));
    ASSERT_TRUE(GlobalMemoryStatusEx(&after));
    auto m = doc["memory"];
    EXPECT_EQ(hl_keys(m), "used_mb,total_mb,percent,available_mb,virtual_used_mb");
    EXPECT_EQ(m["total_mb"].get<int64_t>(), (int64_t)(before.ullTotalPhys >> 20));
    /* Available memory moves between two readings: it must lie between them. */
    int64_t lo = (int64_t)(std::min(before.ullAvailPhys, after.ullAvailPhys) >> 20);
    int64_t hi = (int64_t)(std::max(before.ullAvailPhys, after.ullAvailPhys) >> 20);
    int64_t avail = m["available_mb"].get<int64_t>();
    EXPECT_GE(avail, lo - 8);
    EXPECT_LE(avail, hi + 8);
    EXPECT_EQ(m["used_mb"].get<int64_t>(), m["total_mb"].get<int64_t>() - avail);
    double pct = m["percent"].get<double>();
    EXPECT_GE(pct, 0.0);
    EXPECT_LE(pct, 100.0);
}

TEST(WineMemory, SwapIsTheCommitFigure)
{
    MEMORYSTATUSEX ms;
    ms.dwLength = sizeof ms;
    ASSERT_TRUE(GlobalMemoryStatusEx(&ms));
    auto s = hl_parse(hl_call("hostlens_swap"))["swap"];
    EXPECT_EQ(hl_keys(s), "used_mb,total_mb,percent");
    EXPECT_EQ(s["total_mb"].get<int64_t>(), (int64_t)(ms.ullTotalPageFile >> 20));
}
