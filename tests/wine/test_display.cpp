/*
 * The real DLL under Wine: the resolution against the test's own
 * EnumDisplaySettingsW, and the fixed desktop names.
 */
#include "wine_common.h"

TEST(WineDisplay, ResolutionIsTheCurrentMode)
{
    DEVMODEW mode;
    ZeroMemory(&mode, sizeof mode);
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsW(NULL, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(hl_call("hostlens_resolution"),
              "{\"resolution\":{\"width\":" + std::to_string(mode.dmPelsWidth) +
                  ",\"height\":" + std::to_string(mode.dmPelsHeight) +
                  ",\"refresh_hz\":" + std::to_string(mode.dmDisplayFrequency) + "}}");
    /* Headless Wine. */
    EXPECT_EQ(hl_call("hostlens_resolution"),
              "{\"resolution\":{\"width\":1024,\"height\":768,\"refresh_hz\":60}}");
}

TEST(WineDisplay, DesktopNamesAndSnapshotSections)
{
    EXPECT_EQ(hl_call("hostlens_desktop_environment"), "{\"de\":{\"name\":\"Windows Shell\"}}");
    EXPECT_EQ(hl_call("hostlens_window_manager"), "{\"wm\":{\"name\":\"Windows Shell\"}}");
    auto all = hl_parse(hl_call("hostlens_get_all"));
    EXPECT_EQ(all["resolution"].dump(), "{\"width\":1024,\"height\":768}");
    EXPECT_EQ(all["de"]["name"], "Windows Shell");
    EXPECT_EQ(all["wm"]["name"], "Windows Shell");
}
