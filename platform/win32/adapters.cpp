/*
 * Display adapters: the present devices of the display adapter class through
 * SetupAPI (loaded at first use), and their registry properties. No COM and
 * no user32, so no desktop is needed.
 */
#include <windows.h>
#include <setupapi.h>

#include "hl_port.h"
#include "win32_util.h"
#include "winapi.h"

/* GUID_DEVCLASS_DISPLAY, defined here so that no GUID library is linked. */
static const GUID display_class = {
    0x4d36e968, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

int hl_port_display_adapters(hl_handle_t *set)
{
    auto get = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiGetClassDevsW);
    *set = NULL;
    if (get == NULL)
        return 0;
    HDEVINFO devices = get(&display_class, NULL, NULL, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return 0;
    *set = (hl_handle_t)devices;
    return 1;
}

int hl_port_display_adapter_text(hl_handle_t set, uint32_t index, uint32_t property, char16_t *text,
                                 uint32_t units)
{
    auto next = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiEnumDeviceInfo);
    auto get = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiGetDeviceRegistryPropertyW);
    auto id = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiGetDeviceInstanceIdW);
    if (next == NULL || get == NULL || id == NULL || units < 2)
        return HL_DEVICE_TEXT_END;
    SP_DEVINFO_DATA device;
    ZeroMemory(&device, sizeof device);
    device.cbSize = sizeof device;
    if (!next((HDEVINFO)set, index, &device))
        return HL_DEVICE_TEXT_END;
    ZeroMemory(text, (size_t)units * sizeof(char16_t));
    /* One unit fewer than the buffer: the text always ends inside it. */
    BOOL ok;
    if (property == HL_DEVICE_INSTANCE_ID) {
        ok = id((HDEVINFO)set, &device, WM(text), units - 1, NULL);
    } else {
        DWORD type = 0;
        ok = get((HDEVINFO)set, &device, property, &type, (BYTE *)text,
                 (units - 1) * (DWORD)sizeof(char16_t), NULL) &&
             (type == REG_SZ || type == REG_MULTI_SZ);
    }
    if (!ok) {
        text[0] = 0;
        return HL_DEVICE_TEXT_NONE;
    }
    return HL_DEVICE_TEXT_OK;
}

void hl_port_display_adapters_close(hl_handle_t set)
{
    auto destroy = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiDestroyDeviceInfoList);
    if (destroy != NULL)
        destroy((HDEVINFO)set);
}
