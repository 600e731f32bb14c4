/*
 * The current display mode and the display devices.
 */
#include <windows.h>
#include <string.h>

#include "hl_port.h"
#include "winapi.h"

int hl_port_display_settings(uint32_t *width, uint32_t *height, uint32_t *hz)
{
    DEVMODEW mode;
    ZeroMemory(&mode, sizeof mode);
    mode.dmSize = sizeof mode; /* 220 */
    auto enum_settings = HL_WIN32_FN(HL_DLL_USER32, EnumDisplaySettingsW);
    if (enum_settings == NULL || !enum_settings(NULL, ENUM_CURRENT_SETTINGS, &mode))
        return 0;
    *width = mode.dmPelsWidth;
    *height = mode.dmPelsHeight;
    *hz = mode.dmDisplayFrequency;
    return 1;
}

int hl_port_display_device(uint32_t index, char16_t *device_string, uint32_t *state_flags)
{
    DISPLAY_DEVICEW device;
    ZeroMemory(&device, sizeof device);
    device.cb = sizeof device; /* 840 */
    auto enum_devices = HL_WIN32_FN(HL_DLL_USER32, EnumDisplayDevicesW);
    if (enum_devices == NULL || !enum_devices(NULL, index, &device, 0))
        return 0;
    device.DeviceString[127] = L'\0';
    memcpy(device_string, device.DeviceString, sizeof device.DeviceString);
    *state_flags = device.StateFlags;
    return 1;
}
