/*
 * Displays: the rules over plain values, each display with its own rate and
 * scale read in a per-monitor-aware context that is given back, and what a
 * configuration with holes or a failing platform leaves.
 */
#include "test_util.h"

#include "hl_display.h"

namespace
{
const intptr_t OWN = 0x11;

std::string displays()
{
    return doc(hostlens_collect("displays"));
}
} // namespace

TEST(Displays, RulesOverPlainValues)
{
    struct {
        uint32_t num, den;
        int64_t centi;
    } rates[] = {{59950, 1000, 5995}, {60000, 1001, 5994}, {144000, 1000, 14400},
                 {60, 1, 6000},       {1, 3, 33},          {2, 3, 67},
                 {0, 1000, -1},       {60, 0, -1},         {0xFFFFFFFFu, 1, INT64_C(429496729500)}};
    for (const auto &r : rates)
        EXPECT_EQ(hl_display_refresh_centihz(r.num, r.den), r.centi) << r.num << "/" << r.den;
    struct {
        uint32_t technology;
        const char *word;
    } connectors[] = {{0, "VGA"},       {4, "DVI"},
                      {5, "HDMI"},      {10, "DisplayPort"},
                      {11, "internal"}, {0x80000000u, "internal"},
                      {6, "LVDS"},      {0xFFFFFFFFu, "other"},
                      {7, "unknown"},   {19, "unknown"}};
    for (const auto &c : connectors)
        EXPECT_STREQ(hl_display_connector(c.technology), c.word) << c.technology;
    const int64_t rotations[] = {-1, 0, 90, 180, 270, -1};
    for (uint32_t r = 0; r < 6; r++)
        EXPECT_EQ(hl_display_rotation(r), rotations[r]) << r;
    EXPECT_EQ(hl_display_scale_percent(96), 100);
    EXPECT_EQ(hl_display_scale_percent(120), 125);
    EXPECT_EQ(hl_display_scale_percent(144), 150);
    EXPECT_EQ(hl_display_scale_percent(168), 175);
    EXPECT_EQ(hl_display_scale_percent(0), -1);
}

TEST(Displays, EachItsOwnRateAndScaleTheContextGivenBack)
{
    fake_add_display({"DELL U2720Q", 3840, 2160, 0, 0, 59950, 1000, 1, 10, 144, 0, 0});
    fake_add_display({"", 1920, 1080, 3840, 0, 144000, 1000, 1, 0x80000000u, 120, 0, 0});
    /* Rotated, left of the primary, its rate only in its target mode. */
    fake_add_display({"Side", 1080, 1920, -1080, 0, 0, 0, 2, 5, 96, 60000, 1001});
    EXPECT_EQ(displays(),
              "{\"displays\":["
              "{\"name\":\"DELL U2720Q\",\"width\":3840,\"height\":2160,\"refresh_hz\":59.95,"
              "\"rotation\":0,\"connector\":\"DisplayPort\",\"primary\":1,\"scale_percent\":150},"
              "{\"name\":\"unknown\",\"width\":1920,\"height\":1080,\"refresh_hz\":144.00,"
              "\"rotation\":0,\"connector\":\"internal\",\"primary\":0,\"scale_percent\":125},"
              "{\"name\":\"Side\",\"width\":1080,\"height\":1920,\"refresh_hz\":59.94,"
              "\"rotation\":90,\"connector\":\"HDMI\",\"primary\":0,\"scale_percent\":100}]}");
    EXPECT_EQ(fake_dpi_context(), OWN);
    EXPECT_EQ(fake_misuse(), 0); /* every monitor call made per-monitor aware */
    EXPECT_TRUE(fake_all_released());
}

TEST(Displays, WhatTheConfigurationAndThePlatformLeaveOut)
{
    auto entry = [](const char *name, const char *scale) {
        return std::string("{\"name\":\"") + name +
               "\",\"width\":1024,\"height\":768,\"refresh_hz\":60.00,\"rotation\":0,"
               "\"connector\":\"VGA\",\"primary\":1,\"scale_percent\":" +
               scale + "}";
    };
    const std::string a = entry("A", "100"), unscaled = entry("A", "\"unknown\"");
    struct {
        const char *what;
        void (*script)();
        std::string entries;
    } cases[] = {
        {"no display (a service)", [] { fake_reset(); }, ""},
        {"sizes refused", [] { fake_fail(FAKE_DISPLAY_CONFIG_SIZES, 1); }, ""},
        {"query refused", [] { fake_fail(FAKE_DISPLAY_CONFIG, 1, true); }, ""},
        {"the configuration grew twice", [] { fake_display_grow(2); }, a + "," + a + "," + a},
        {"no context function", [] { fake_set_dpi_functions(false, true); }, unscaled},
        {"per-monitor context without V2", [] { fake_set_dpi_functions(true, true, false); }, a},
        {"contexts refused", [] { fake_fail(FAKE_DPI_CONTEXT_SET, 1, true); }, unscaled},
        {"V2 refused", [] { fake_fail(FAKE_DPI_CONTEXT_SET, 1); }, a},
        {"no GetDpiForMonitor", [] { fake_set_dpi_functions(true, false); }, unscaled},
        {"no monitor there", [] { fake_fail(FAKE_MONITOR_AT, 1); }, unscaled},
        {"name refused", [] { fake_fail(FAKE_DISPLAY_TARGET_NAME, 1); }, entry("unknown", "100")},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_add_display({"A", 1024, 768, 0, 0, 60, 1, 1, 0, 96, 0, 0});
        c.script();
        EXPECT_EQ(displays(), "{\"displays\":[" + c.entries + "]}") << c.what;
        EXPECT_EQ(fake_dpi_context(), OWN) << c.what;
        EXPECT_EQ(fake_misuse(), 0) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
    /* The platform out of memory (ERROR_NOT_ENOUGH_MEMORY) is no "no display". */
    fake_fail(FAKE_DISPLAY_CONFIG, 1, true, 8);
    EXPECT_EQ(hostlens_collect("displays"), nullptr);
    EXPECT_EQ(fake_dpi_context(), OWN);
    EXPECT_TRUE(fake_all_released());
}

TEST(Displays, ModeIndexesAreCheckedNeverTrusted)
{
    hl_port_display_path_t good = {};
    good.source_mode = 0;
    good.target_mode = 1;
    good.rotation = 1;
    good.output_technology = 5;
    good.refresh_numerator = 50;
    good.refresh_denominator = 1;
    hl_port_display_mode_t source = {}, target = {};
    source.type = 1;
    source.width = 800;
    source.height = 600;
    target.type = 2;
    hl_port_display_path_t past_end = good, wrong_type = good, invalid = good;
    past_end.source_mode = 7;
    past_end.target_mode = 0xFFFFFFFFu; /* DISPLAYCONFIG_PATH_MODE_IDX_INVALID */
    wrong_type.source_mode = 1;         /* a target mode where a source is due */
    invalid.source_mode = 0xFFFFFFFFu;
    invalid.refresh_denominator = 0;
    fake_set_display_records({good, past_end, wrong_type, invalid}, {source, target});
    auto list = parsed(hostlens_collect("displays"))["displays"];
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0]["width"], 800);
    EXPECT_EQ(list[0]["primary"], 1);
    for (int i = 1; i < 4; i++) {
        EXPECT_EQ(list[i]["width"], "unknown") << i;
        EXPECT_EQ(list[i]["primary"], "unknown") << i;
        EXPECT_EQ(list[i]["scale_percent"], "unknown") << i;
    }
    EXPECT_EQ(list[3]["refresh_hz"], "unknown");
    EXPECT_TRUE(fake_all_released());
}
