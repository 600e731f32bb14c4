/*
 * CPU temperature: conversion, the hottest zone over all zones, and the -1.0
 * of no reading.
 */
#include "test_util.h"

namespace
{
const int64_t NO_PROPERTY = INT64_MIN;

void zone(int64_t tenths_kelvin, uint16_t vt = 3)
{
    int r = fake_wmi_row("root\\WMI", "MSAcpi_ThermalZoneTemperature");
    if (tenths_kelvin != NO_PROPERTY)
        fake_wmi_num(r, "CurrentTemperature", vt, tenths_kelvin);
}
} // namespace

TEST(CpuTemp, Zones)
{
    struct {
        std::vector<int64_t> zones;
        const char *celsius;
    } cases[] = {
        {{3132}, "40.0"},
        {{3000}, "26.8"},
        {{2732}, "0.0"},
        {{3000, 3132}, "40.0"},
        {{3132, 3000}, "40.0"},
        {{0}, "-1.0"},
        {{-30}, "-1.0"},
        {{NO_PROPERTY}, "-1.0"},
        {{0, 3000, NO_PROPERTY}, "26.8"},
        /* The hottest zone wins even below 0 degrees: -0.1, not -73.2. */
        {{2731, 2000}, "-0.1"},
        {{2000, 2731}, "-0.1"},
        {{}, "-1.0"},
    };
    for (const auto &c : cases) {
        fake_reset();
        for (int64_t z : c.zones)
            zone(z);
        EXPECT_EQ(doc(hostlens_cpu_temp()),
                  std::string("{\"cpu_temp\":{\"celsius\":") + c.celsius + "}}");
        EXPECT_STREQ(hostlens_last_error(), "");
        EXPECT_TRUE(fake_all_released());
    }
}

TEST(CpuTemp, QueryAndAcceptedTypes)
{
    zone(3132, 19); /* VT_UI4 */
    zone(3500, 5);  /* VT_R8 is not an accepted type */
    double c = 0;
    hl_impl_cpu_temp(&c);
    EXPECT_DOUBLE_EQ(c, 3132 / 10.0 - 273.2);
    EXPECT_EQ(fake_wmi_log().namespaces, (std::vector<std::string>{"root\\WMI"}));
    EXPECT_EQ(
        fake_wmi_log().queries,
        (std::vector<std::string>{"SELECT CurrentTemperature FROM MSAcpi_ThermalZoneTemperature"}));
}

TEST(CpuTemp, WmiFailureGivesMinusOneAndTheDocumentClearsTheMessage)
{
    zone(3132);
    fake_wmi_drop_namespace("root\\WMI");
    double c = 0;
    hl_impl_cpu_temp(&c);
    EXPECT_EQ(c, -1.0);
    EXPECT_STREQ(hl_get_error(), "wmi: ConnectServer root\\WMI failed (hr=0x8004100E)");
    EXPECT_EQ(doc(hostlens_cpu_temp()), "{\"cpu_temp\":{\"celsius\":-1.0}}");
    EXPECT_STREQ(hostlens_last_error(), "");
    EXPECT_TRUE(fake_all_released());
}

TEST(CpuTemp, SnapshotSectionEqualsTheDocument)
{
    zone(3132);
    auto single = parsed(hostlens_cpu_temp());
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["cpu_temp"], single["cpu_temp"]);
}
