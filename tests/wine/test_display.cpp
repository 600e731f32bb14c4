/*
 * The real DLL under Wine: the resolution against the test's own
 * EnumDisplaySettingsW, and the fixed desktop names.
 */
#include "wine_common.h"

/* The current mode, as this test asks for it itself. */
static DEVMODEW current_mode()
{
    DEVMODEW mode;
    ZeroMemory(&mode, sizeof mode);
    mode.dmSize = sizeof mode;
    EXPECT_TRUE(EnumDisplaySettingsW(NULL, ENUM_CURRENT_SETTINGS, &mode));
    return mode;
}

TEST(WineDisplay, ResolutionIsTheCurrentMode)
{
    DEVMODEW mode = current_mode();
    EXPECT_EQ(hl_call("hostlens_resolution"),
              "{\"resolution\":{\"width\":" + std::to_string(mode.dmPelsWidth) +
                  ",\"height\":" + std::to_string(mode.dmPelsHeight) +
                  ",\"refresh_hz\":" + std::to_string(mode.dmDisplayFrequency) + "}}");
}

TEST(WineDisplay, DesktopNamesAndSnapshotSections)
{
    EXPECT_EQ(hl_call("hostlens_desktop_environment"), "{\"de\":{\"name\":\"Windows Shell\"}}");
    EXPECT_EQ(hl_call("hostlens_window_manager"), "{\"wm\":{\"name\":\"Windows Shell\"}}");
    auto all = hl_parse(hl_call("hostlens_get_all"));
    DEVMODEW mode = current_mode();
    EXPECT_EQ(all["resolution"].dump(), "{\"width\":" + std::to_string(mode.dmPelsWidth) +
                                            ",\"height\":" + std::to_string(mode.dmPelsHeight) +
                                            "}");
    EXPECT_EQ(all["de"]["name"], "Windows Shell");
    EXPECT_EQ(all["wm"]["name"], "Windows Shell");
}
