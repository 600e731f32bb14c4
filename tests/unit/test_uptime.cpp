/*
 * Uptime and boot time: the four text forms at their thresholds, the boot
 * arithmetic, the clock before 1970, and the members of the three writers.
 */
#include "test_util.h"

namespace
{
/* FILETIME of 2024-01-01T00:00:00Z. */
const uint64_t NEW_YEAR_2024 = UINT64_C(116444736000000000) + UINT64_C(1704067200) * 10000000;
} // namespace

TEST(Uptime, TextFormsAtTheirThresholds)
{
    struct {
        uint64_t ms;
        int64_t seconds;
        const char *text;
    } cases[] = {
        {0, 0, "0 seconds"},
        {1999, 1, "1 seconds"},
        {59999, 59, "59 seconds"},
        {60000, 60, "1 minutes"},
        {3599999, 3599, "59 minutes"},
        {3600000, 3600, "1 hours, 0 minutes"},
        {86399999, 86399, "23 hours, 59 minutes"},
        {86400000, 86400, "1 days, 0 hours, 0 minutes"},
        {90061000, 90061, "1 days, 1 hours, 1 minutes"},
        {200000000, 200000, "2 days, 7 hours, 33 minutes"},
    };
    for (auto &c : cases) {
        fake_set_tick_count(c.ms);
        hl_uptime_info_t r;
        hl_impl_uptime(&r);
        EXPECT_EQ(r.total_seconds, c.seconds) << c.ms;
        EXPECT_STREQ(r.formatted, c.text) << c.ms;
        EXPECT_STREQ(r.last_boot, c.text) << c.ms;
    }
}

TEST(Uptime, BootInstantDropsTheFraction)
{
    fake_set_system_time(NEW_YEAR_2024);
    fake_set_tick_count(90500);
    hl_uptime_info_t r;
    hl_impl_uptime(&r);
    EXPECT_STREQ(r.boot_time_iso, "2023-12-31T23:58:29Z");
    EXPECT_EQ(fake_calls(FAKE_TICK_COUNT), 1);
}

TEST(Uptime, ClockBeforeBootGivesNoTimeStamp)
{
    /* 1970-01-01T00:01:00Z with two minutes of uptime. */
    fake_set_system_time(UINT64_C(116444736000000000) + UINT64_C(600000000));
    fake_set_tick_count(120000);
    EXPECT_EQ(doc(hostlens_boot_time()),
              "{\"boot_time\":{\"iso\":\"unknown\",\"formatted\":\"2 minutes\"}}");
}

TEST(Uptime, Documents)
{
    fake_set_system_time(NEW_YEAR_2024);
    fake_set_tick_count(200000000);
    EXPECT_EQ(doc(hostlens_uptime()),
              "{\"uptime\":{\"total_seconds\":200000,\"formatted\":\"2 days, 7 hours, 33 "
              "minutes\",\"boot_time_iso\":\"2023-12-29T16:26:40Z\",\"last_boot\":\"2 days, 7 "
              "hours, 33 minutes\"}}");
    EXPECT_EQ(doc(hostlens_boot_time()), "{\"boot_time\":{\"iso\":\"2023-12-29T16:26:40Z\","
                                         "\"formatted\":\"2 days, 7 hours, 33 minutes\"}}");
}

TEST(Uptime, SnapshotSectionsLeaveMembersOut)
{
    fake_set_system_time(NEW_YEAR_2024);
    fake_set_tick_count(60000);
    hl_uptime_info_t r;
    hl_impl_uptime(&r);
    EXPECT_EQ(written([&](hl_json_t *j) { hl_write_uptime(j, &r, HL_SECTION); }),
              "\"total_seconds\":60,\"formatted\":\"1 minutes\","
              "\"boot_time_iso\":\"2023-12-31T23:59:00Z\"");
    EXPECT_EQ(written([&](hl_json_t *j) { hl_write_boot_time(j, &r, HL_SECTION); }),
              "\"iso\":\"2023-12-31T23:59:00Z\"");
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["uptime"].size(), 3u);
    EXPECT_EQ(all["boot_time"].size(), 1u);
    EXPECT_EQ(all["boot_time"]["iso"], all["uptime"]["boot_time_iso"]);
}
