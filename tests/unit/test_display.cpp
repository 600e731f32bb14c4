/*
 * Resolution, desktop environment and window manager.
 */
#include "test_util.h"

TEST(Resolution, Documents)
{
    struct {
        bool ok;
        uint32_t w, h, hz;
        const char *doc;
    } cases[] = {
        {true, 1920, 1080, 60,
         "{\"resolution\":{\"width\":1920,\"height\":1080,\"refresh_hz\":60}}"},
        {true, 1024, 768, 1, "{\"resolution\":{\"width\":1024,\"height\":768,\"refresh_hz\":1}}"},
        {true, 800, 600, 0, "{\"resolution\":{\"width\":800,\"height\":600,\"refresh_hz\":0}}"},
        {true, 4294967295u, 2, 3,
         "{\"resolution\":{\"width\":4294967295,\"height\":2,\"refresh_hz\":3}}"},
        {false, 1920, 1080, 60, "{\"resolution\":{\"width\":0,\"height\":0,\"refresh_hz\":0}}"},
    };
    for (const auto &c : cases) {
        fake_set_display_settings(c.ok, c.w, c.h, c.hz);
        EXPECT_EQ(doc(hostlens_resolution()), c.doc);
    }
}

TEST(DesktopNames, AlwaysWindowsShell)
{
    EXPECT_EQ(doc(hostlens_desktop_environment()), "{\"de\":{\"name\":\"Windows Shell\"}}");
    EXPECT_EQ(doc(hostlens_window_manager()), "{\"wm\":{\"name\":\"Windows Shell\"}}");
}

TEST(Resolution, SnapshotSectionsOfTheDisplayModules)
{
    fake_set_display_settings(true, 2560, 1440, 144);
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["resolution"].dump(), "{\"width\":2560,\"height\":1440}");
    EXPECT_EQ(all["de"].dump(), "{\"name\":\"Windows Shell\"}");
    EXPECT_EQ(all["wm"].dump(), "{\"name\":\"Windows Shell\"}");
    /* These modules' sections keep their places relative to each other. */
    std::vector<std::string> order;
    for (auto it = all.begin(); it != all.end(); ++it)
        order.push_back(it.key());
    std::vector<std::string> mine = {"os",       "kernel", "resolution", "de",   "wm",
                                     "cpu_temp", "gpu",    "memory",     "swap", "battery"};
    std::vector<std::string> seen;
    for (const std::string &k : order)
        for (const std::string &m : mine)
            if (k == m)
                seen.push_back(k);
    EXPECT_EQ(seen, mine);
    EXPECT_EQ(order.back(), "logo");
    EXPECT_STREQ(hostlens_last_error(), "");
}
