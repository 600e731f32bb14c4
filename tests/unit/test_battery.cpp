/*
 * Battery: the state table, the percent rule, the time remaining, the
 * capacity of four.
 */
#include "test_util.h"

namespace
{
const int64_t NONE = INT64_MIN;

int battery(const char *name, int64_t status, int64_t charge)
{
    int r = fake_wmi_row("root\\cimv2", "Win32_Battery");
    if (name != nullptr)
        fake_wmi_str(r, "Name", name);
    if (status != NONE)
        fake_wmi_num(r, "BatteryStatus", 18, status); /* uint16 */
    if (charge != NONE)
        fake_wmi_num(r, "EstimatedChargeRemaining", 18, charge);
    return r;
}
} // namespace

TEST(Battery, Document)
{
    battery("Internal Battery", 6, 87);
    EXPECT_EQ(doc(hostlens_battery()),
              "{\"battery\":[{\"model\":\"Internal Battery\",\"percent\":87,\"power_plugged\":1,"
              "\"state\":\"Charging\",\"time_remaining_seconds\":\"unknown\"}]}");
    EXPECT_TRUE(fake_all_released());
    fake_reset();
    EXPECT_EQ(doc(hostlens_battery()), "{\"battery\":[]}");
    EXPECT_EQ(fake_wmi_log().queries,
              (std::vector<std::string>{"SELECT Name, BatteryStatus, EstimatedChargeRemaining, "
                                        "EstimatedRunTime FROM Win32_Battery"}));
}

TEST(Battery, StateFollowsTheDocumentedMeanings)
{
    struct {
        int64_t status;
        const char *state;
        int64_t plugged;
    } cases[] = {
        {NONE, "unknown", -1}, {-1, "unknown", -1}, {0, "unknown", -1},    {1, "Discharging", 0},
        {2, "AC", 1},          {3, "Full", -1},     {4, "Discharging", 0}, {5, "Discharging", 0},
        {6, "Charging", 1},    {7, "Charging", 1},  {8, "Charging", 1},    {9, "Charging", 1},
        {10, "unknown", -1},   {11, "unknown", -1}, {12, "unknown", -1},
    };
    for (const auto &c : cases) {
        fake_reset();
        int r = fake_wmi_row("root\\cimv2", "Win32_Battery");
        /* A signed type, so that -1 arrives as -1. */
        if (c.status != NONE)
            fake_wmi_num(r, "BatteryStatus", 3, c.status);
        hl_battery_list_t list;
        hl_impl_battery(&list);
        ASSERT_EQ(list.count, 1);
        EXPECT_STREQ(list.batteries[0].state, c.state) << c.status;
        EXPECT_EQ(list.batteries[0].power_plugged, c.plugged) << c.status;
        EXPECT_EQ(list.batteries[0].time_remaining_seconds, -1);
    }
}

TEST(Battery, PercentModelAndCapacity)
{
    battery("Discharging one", 1, 55);
    battery("Empty", 1, 0);
    battery(nullptr, 2, NONE);
    battery("Overfull", 3, 150);
    battery("Fifth", 6, 10);
    EXPECT_EQ(doc(hostlens_battery()),
              "{\"battery\":["
              "{\"model\":\"Discharging one\",\"percent\":55,\"power_plugged\":0,"
              "\"state\":\"Discharging\",\"time_remaining_seconds\":\"unknown\"},"
              "{\"model\":\"Empty\",\"percent\":0,\"power_plugged\":0,"
              "\"state\":\"Discharging\",\"time_remaining_seconds\":\"unknown\"},"
              "{\"model\":\"unknown\",\"percent\":\"unknown\",\"power_plugged\":1,"
              "\"state\":\"AC\",\"time_remaining_seconds\":\"unknown\"},"
              "{\"model\":\"Overfull\",\"percent\":150,\"power_plugged\":\"unknown\","
              "\"state\":\"Full\",\"time_remaining_seconds\":\"unknown\"}]}");
    EXPECT_TRUE(fake_all_released());
}

TEST(Battery, SnapshotSectionEqualsTheDocument)
{
    battery("Internal Battery", 2, 40);
    battery("Second", 6, 100);
    auto single = parsed(hostlens_battery());
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["battery"], single["battery"]);
}

/* The estimate counts only while the battery discharges, and the class's
 * "unknown time" never becomes seconds. */
TEST(Battery, TimeRemainingOnlyWhileDischarging)
{
    struct {
        int64_t status, minutes;
        const char *seconds;
    } cases[] = {
        {1, 95, "5700"},
        {4, 0, "0"},
        {5, 71582787, "4294967220"},
        {1, 71582788, "\"unknown\""},
        {1, NONE, "\"unknown\""},
        {1, -1, "\"unknown\""},
        {6, 95, "\"unknown\""},
        {2, 95, "\"unknown\""},
        {3, 95, "\"unknown\""},
        {NONE, 95, "\"unknown\""},
    };
    for (const auto &c : cases) {
        fake_reset();
        int r = battery("B", c.status, 50);
        if (c.minutes != NONE)
            fake_wmi_num(r, "EstimatedRunTime", 3, c.minutes); /* uint32 comes as VT_I4 */
        auto b = parsed(hostlens_battery())["battery"][0];
        EXPECT_EQ(b["time_remaining_seconds"].dump(), c.seconds) << c.status << " " << c.minutes;
    }
}
