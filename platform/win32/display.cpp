/*
 * The current display mode, the display devices, the display configuration
 * and the monitors' DPI.
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

/* ---- the display configuration ------------------------------------------- */

static uint64_t luid_value(LUID id)
{
    return (uint64_t)id.LowPart | (uint64_t)(uint32_t)id.HighPart << 32;
}

static LUID luid_of(uint64_t value)
{
    LUID id;
    id.LowPart = (DWORD)value;
    id.HighPart = (LONG)(uint32_t)(value >> 32);
    return id;
}

long hl_port_display_config_sizes(uint32_t *paths, uint32_t *modes)
{
    auto sizes = HL_WIN32_FN(HL_DLL_USER32, GetDisplayConfigBufferSizes);
    if (sizes == NULL)
        return ERROR_NOT_SUPPORTED;
    UINT32 p = 0, m = 0;
    LONG status = sizes(QDC_ONLY_ACTIVE_PATHS, &p, &m);
    *paths = p;
    *modes = m;
    return status;
}

long hl_port_display_config(uint32_t *path_count, hl_port_display_path_t *paths,
                            uint32_t *mode_count, hl_port_display_mode_t *modes)
{
    auto query = HL_WIN32_FN(HL_DLL_USER32, QueryDisplayConfig);
    if (query == NULL)
        return ERROR_NOT_SUPPORTED;
    HANDLE heap = GetProcessHeap();
    UINT32 np = *path_count, nm = *mode_count;
    auto *p = (DISPLAYCONFIG_PATH_INFO *)HeapAlloc(heap, HEAP_ZERO_MEMORY,
                                                   (np ? np : 1) * sizeof(DISPLAYCONFIG_PATH_INFO));
    auto *m = (DISPLAYCONFIG_MODE_INFO *)HeapAlloc(heap, HEAP_ZERO_MEMORY,
                                                   (nm ? nm : 1) * sizeof(DISPLAYCONFIG_MODE_INFO));
    LONG status = ERROR_NOT_ENOUGH_MEMORY;
    if (p != NULL && m != NULL)
        status = query(QDC_ONLY_ACTIVE_PATHS, &np, p, &nm, m, NULL);
    if (status == ERROR_SUCCESS) {
        for (UINT32 i = 0; i < np && i < *path_count; i++) {
            const DISPLAYCONFIG_PATH_INFO &s = p[i];
            hl_port_display_path_t &d = paths[i];
            d.source_adapter = luid_value(s.sourceInfo.adapterId);
            d.source_id = s.sourceInfo.id;
            d.source_mode = s.sourceInfo.modeInfoIdx;
            d.target_adapter = luid_value(s.targetInfo.adapterId);
            d.target_id = s.targetInfo.id;
            d.target_mode = s.targetInfo.modeInfoIdx;
            d.output_technology = (uint32_t)s.targetInfo.outputTechnology;
            d.rotation = (uint32_t)s.targetInfo.rotation;
            d.refresh_numerator = s.targetInfo.refreshRate.Numerator;
            d.refresh_denominator = s.targetInfo.refreshRate.Denominator;
            d.flags = s.flags;
        }
        for (UINT32 i = 0; i < nm && i < *mode_count; i++) {
            const DISPLAYCONFIG_MODE_INFO &s = m[i];
            hl_port_display_mode_t &d = modes[i];
            ZeroMemory(&d, sizeof d);
            d.type = (uint32_t)s.infoType;
            d.id = s.id;
            d.adapter = luid_value(s.adapterId);
            if (s.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
                d.width = s.sourceMode.width;
                d.height = s.sourceMode.height;
                d.x = s.sourceMode.position.x;
                d.y = s.sourceMode.position.y;
            } else if (s.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
                d.vsync_numerator = s.targetMode.targetVideoSignalInfo.vSyncFreq.Numerator;
                d.vsync_denominator = s.targetMode.targetVideoSignalInfo.vSyncFreq.Denominator;
            }
        }
        *path_count = np;
        *mode_count = nm;
    }
    if (p != NULL)
        HeapFree(heap, 0, p);
    if (m != NULL)
        HeapFree(heap, 0, m);
    return status;
}

long hl_port_display_target_name(uint64_t adapter, uint32_t target_id, char16_t *name)
{
    auto info = HL_WIN32_FN(HL_DLL_USER32, DisplayConfigGetDeviceInfo);
    if (info == NULL)
        return ERROR_NOT_SUPPORTED;
    DISPLAYCONFIG_TARGET_DEVICE_NAME request;
    ZeroMemory(&request, sizeof request);
    request.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    request.header.size = sizeof request;
    request.header.adapterId = luid_of(adapter);
    request.header.id = target_id;
    LONG status = info(&request.header);
    if (status == ERROR_SUCCESS)
        memcpy(name, request.monitorFriendlyDeviceName, sizeof request.monitorFriendlyDeviceName);
    return status;
}

/* ---- DPI ---------------------------------------------------------------------- */

int hl_port_dpi_context_set(intptr_t context, intptr_t *previous)
{
    auto set = HL_WIN32_FN_AS(HL_DLL_USER32, hl_set_thread_dpi_awareness_context_fn,
                              "SetThreadDpiAwarenessContext");
    if (set == NULL)
        return 0;
    HANDLE old = set((HANDLE)context);
    *previous = (intptr_t)old;
    return old != NULL;
}

hl_handle_t hl_port_monitor_at(int32_t x, int32_t y)
{
    auto from_point = HL_WIN32_FN(HL_DLL_USER32, MonitorFromPoint);
    if (from_point == NULL)
        return NULL;
    POINT at = {x, y};
    return (hl_handle_t)from_point(at, MONITOR_DEFAULTTONULL);
}

int32_t hl_port_monitor_dpi(hl_handle_t monitor, uint32_t *dpi_x, uint32_t *dpi_y)
{
    auto get = HL_WIN32_FN_AS(HL_DLL_SHCORE, hl_get_dpi_for_monitor_fn, "GetDpiForMonitor");
    if (get == NULL)
        return (int32_t)E_NOTIMPL;
    UINT x = 0, y = 0;
    HRESULT hr = get((HMONITOR)monitor, HL_MDT_EFFECTIVE_DPI, &x, &y);
    *dpi_x = x;
    *dpi_y = y;
    return (int32_t)hr;
}
