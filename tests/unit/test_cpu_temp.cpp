/*
 * CPU temperature: conversion, the hottest zone over all zones, placeholder
 * readings, the thermal zone counters when WMI gives nothing, and the -1.0
 * of no reading.
 */
#include "test_util.h"

#include <math.h>

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
        {{3000, 3132}, "40.0"},
        {{3132, 3000}, "40.0"},
        {{0}, "-1.0"},
        {{-30}, "-1.0"},
        {{NO_PROPERTY}, "-1.0"},
        {{0, 3000, NO_PROPERTY}, "26.8"},
        /* Outside [1, 150] degrees: a placeholder, never the hottest. */
        {{2732}, "-1.0"},
        {{2731, 2000}, "-1.0"},
        {{2742}, "1.0"},
        {{4232}, "150.0"},
        {{4233, 3132}, "40.0"},
        {{3132, 65535}, "40.0"},
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

/* Without an administrator WMI gives nothing: the hottest plausible zone of
 * the counters, in kelvin, with every query and counter given back. */
TEST(CpuTemp, ThermalZoneCountersWhenWmiGivesNothing)
{
    const char *path = "\\Thermal Zone Information(*)\\Temperature";
    const uint32_t VALID = 0, NEW = 1, INVALID = 0xC0000BBAu;
    struct {
        std::vector<int64_t> wmi;
        std::vector<std::pair<double, uint32_t>> zones;
        const char *celsius;
        int queries; /* PdhOpenQuery calls */
    } cases[] = {
        {{}, {{318.0, VALID}, {301.0, NEW}}, "44.9", 1},
        {{}, {{301.0, VALID}, {318.0, VALID}}, "44.9", 1},
        {{}, {{0.0, VALID}, {273.0, VALID}, {424.0, VALID}, {300.0, VALID}}, "26.9", 1},
        {{}, {{350.0, INVALID}, {300.0, VALID}}, "26.9", 1},
        {{}, {{NAN, VALID}, {300.0, VALID}}, "26.9", 1}, /* not a number: no reading */
        {{}, {{0.0, VALID}}, "-1.0", 1},
        {{}, {}, "-1.0", 1},
        {{2732}, {{300.0, VALID}}, "26.9", 1}, /* WMI's only zone a placeholder */
        {{3132}, {{350.0, VALID}}, "40.0", 0}, /* WMI answered: no counters */
    };
    for (const auto &c : cases) {
        fake_reset();
        for (int64_t z : c.wmi)
            zone(z);
        fake_pdh_instances(path, c.zones);
        EXPECT_EQ(doc(hostlens_cpu_temp()),
                  std::string("{\"cpu_temp\":{\"celsius\":") + c.celsius + "}}");
        EXPECT_EQ(fake_calls(FAKE_PDH_OPEN), c.queries);
        EXPECT_TRUE(fake_all_released());
    }

    /* More zones than the first answer holds; and every step failing. */
    fake_reset();
    std::vector<std::pair<double, uint32_t>> many(40, {300.0, VALID});
    many[33].first = 330.0;
    fake_pdh_instances(path, many);
    EXPECT_EQ(doc(hostlens_cpu_temp()), "{\"cpu_temp\":{\"celsius\":56.9}}");
    EXPECT_EQ(fake_pdh_paths(), (std::vector<std::string>{path}));
    for (fake_op op : {FAKE_PDH_OPEN, FAKE_PDH_ADD, FAKE_PDH_COLLECT, FAKE_PDH_ARRAY}) {
        fake_reset();
        fake_pdh_instances(path, many);
        fake_fail(op, 1, true);
        EXPECT_EQ(doc(hostlens_cpu_temp()), "{\"cpu_temp\":{\"celsius\":-1.0}}")
            << fake_op_name(op);
        EXPECT_TRUE(fake_all_released()) << fake_op_name(op);
    }
}
