/*
 * Battery: the state table, the percent rule, the capacity of four.
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
    battery("Internal Battery", 5, 87);
    EXPECT_EQ(doc(hostlens_battery()),
              "{\"battery\":[{\"model\":\"Internal Battery\",\"percent\":87,\"power_plugged\":1,"
              "\"state\":\"Charging\",\"time_remaining_seconds\":\"unknown\"}]}");
    EXPECT_TRUE(fake_all_released());
    fake_reset();
    EXPECT_EQ(doc(hostlens_battery()), "{\"battery\":[]}");
    EXPECT_EQ(fake_wmi_log().queries,
              (std::vector<std::string>{
                  "SELECT Name, BatteryStatus, EstimatedChargeRemaining FROM Win32_Battery"}));
}

TEST(Battery, StateTable)
{
    struct {
        int64_t status;
        const char *state;
        int64_t plugged;
    } cases[] = {
        {0, "unknown", -1},  {1, "AC", 1},          {2, "Discharging", 0}, {3, "Suspended", -1},
        {4, "Unknown", -1},  {5, "Charging", 1},    {6, "Full", 1},        {7, "unknown", -1},
        {11, "unknown", -1}, {NONE, "unknown", -1},
    };
    hl_battery_list_t list;
    /* Four at a time: the list holds four. */
    for (size_t first = 0; first < sizeof cases / sizeof cases[0]; first += 4) {
        fake_reset();
        for (size_t i = first; i < first + 4 && i < sizeof cases / sizeof cases[0]; i++)
            battery("B", cases[i].status, 50);
        hl_impl_battery(&list);
        for (int i = 0; i < list.count; i++) {
            const auto &c = cases[first + (size_t)i];
            EXPECT_STREQ(list.batteries[i].state, c.state) << c.status;
            EXPECT_EQ(list.batteries[i].power_plugged, c.plugged) << c.status;
            EXPECT_EQ(list.batteries[i].time_remaining_seconds, -1);
        }
    }
    /* A negative status (a signed type) falls to the last row too. */
    fake_reset();
    int r = fake_wmi_row("root\\cimv2", "Win32_Battery");
    fake_wmi_num(r, "BatteryStatus", 3, -2);
    hl_impl_battery(&list);
    EXPECT_STREQ(list.batteries[0].state, "unknown");
    EXPECT_EQ(list.batteries[0].power_plugged, -1);
}

TEST(Battery, PercentModelAndCapacity)
{
    battery("Discharging one", 2, 55);
    battery("Empty", 2, 0);
    battery(nullptr, 2, NONE);
    battery("Overfull", 6, 150);
    battery("Fifth", 1, 10);
    EXPECT_EQ(doc(hostlens_battery()),
              "{\"battery\":["
              "{\"model\":\"Discharging one\",\"percent\":55,\"power_plugged\":0,"
              "\"state\":\"Discharging\",\"time_remaining_seconds\":\"unknown\"},"
              "{\"model\":\"Empty\",\"percent\":0,\"power_plugged\":0,"
              "\"state\":\"Discharging\",\"time_remaining_seconds\":\"unknown\"},"
              "{\"model\":\"unknown\",\"percent\":\"unknown\",\"power_plugged\":0,"
              "\"state\":\"Discharging\",\"time_remaining_seconds\":\"unknown\"},"
              "{\"model\":\"Overfull\",\"percent\":150,\"power_plugged\":1,"
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
