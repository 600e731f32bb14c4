/*
 * Battery devices: the interfaces of the battery class through SetupAPI
 * (loaded at first use), and the battery class driver's IOCTLs.
 */
#include <windows.h>
#include <winioctl.h>
#include <batclass.h>
#include <setupapi.h>
#include <stddef.h>
#include <string.h>

#include "hl_battery.h"
#include "hl_port.h"
#include "win32_util.h"
#include "winapi.h"

/* The class driver's codes and answers as the portable readers take them
 * (hl_battery.h). */
static_assert(HL_IOCTL_BATTERY_QUERY_TAG == IOCTL_BATTERY_QUERY_TAG &&
                  HL_IOCTL_BATTERY_QUERY_INFORMATION == IOCTL_BATTERY_QUERY_INFORMATION &&
                  HL_IOCTL_BATTERY_QUERY_STATUS == IOCTL_BATTERY_QUERY_STATUS,
              "battery IOCTLs");
static_assert(HL_BATTERY_INFORMATION == BatteryInformation &&
                  HL_BATTERY_DEVICE_NAME == BatteryDeviceName &&
                  HL_BATTERY_MANUFACTURE_NAME == BatteryManufactureName &&
                  HL_BATTERY_SERIAL_NUMBER == BatterySerialNumber,
              "BATTERY_QUERY_INFORMATION_LEVEL");
static_assert(sizeof(BATTERY_INFORMATION) == HL_BATTERY_INFORMATION_SIZE &&
                  offsetof(BATTERY_INFORMATION, DesignedCapacity) == 12 &&
                  offsetof(BATTERY_INFORMATION, FullChargedCapacity) == 16 &&
                  offsetof(BATTERY_INFORMATION, CycleCount) == 32,
              "BATTERY_INFORMATION");
static_assert(sizeof(BATTERY_STATUS) == HL_BATTERY_STATUS_SIZE &&
                  offsetof(BATTERY_STATUS, Voltage) == 8 && offsetof(BATTERY_STATUS, Rate) == 12,
              "BATTERY_STATUS");
static_assert(HL_BATTERY_POWER_ON_LINE == BATTERY_POWER_ON_LINE &&
                  HL_BATTERY_DISCHARGING == BATTERY_DISCHARGING &&
                  HL_BATTERY_CHARGING == BATTERY_CHARGING &&
                  HL_BATTERY_CAPACITY_RELATIVE == BATTERY_CAPACITY_RELATIVE,
              "battery flags");

/* GUID_DEVCLASS_BATTERY, also the battery device interface class
 * (GUID_DEVICE_BATTERY): defined here so that no GUID library is linked. */
static const GUID battery_class = {
    0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};

int hl_port_battery_devices(hl_handle_t *set)
{
    auto get = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiGetClassDevsW);
    *set = NULL;
    if (get == NULL)
        return 0;
    HDEVINFO devices = get(&battery_class, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE)
        return 0;
    *set = (hl_handle_t)devices;
    return 1;
}

int hl_port_battery_path(hl_handle_t set, uint32_t index, char16_t *path, uint32_t units,
                         uint32_t *needed)
{
    auto next = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiEnumDeviceInterfaces);
    auto detail = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiGetDeviceInterfaceDetailW);
    if (next == NULL || detail == NULL)
        return HL_BATTERY_PATH_END;
    SP_DEVICE_INTERFACE_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    if (!next((HDEVINFO)set, NULL, &battery_class, index, &data))
        return HL_BATTERY_PATH_END;
    /* SP_DEVICE_INTERFACE_DETAIL_DATA_W: cbSize, then the path. */
    const DWORD head = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    DWORD size = 0;
    detail((HDEVINFO)set, &data, NULL, 0, &size, NULL);
    if (size <= head)
        return HL_BATTERY_PATH_FAILED;
    *needed = (uint32_t)((size - head) / sizeof(WCHAR) + 1);
    if (*needed > units)
        return HL_BATTERY_PATH_SMALL;
    auto *block = (SP_DEVICE_INTERFACE_DETAIL_DATA_W *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                                 size + 2);
    if (block == NULL)
        return HL_BATTERY_PATH_NO_MEMORY;
    block->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    int result = HL_BATTERY_PATH_FAILED;
    if (detail((HDEVINFO)set, &data, block, size, NULL, NULL)) {
        memcpy(path, block->DevicePath, size - head);
        path[*needed - 1] = 0;
        result = HL_BATTERY_PATH_OK;
    }
    HeapFree(GetProcessHeap(), 0, block);
    return result;
}

void hl_port_battery_devices_close(hl_handle_t set)
{
    auto destroy = HL_WIN32_FN(HL_DLL_SETUPAPI, SetupDiDestroyDeviceInfoList);
    if (destroy != NULL)
        destroy((HDEVINFO)set);
}

int hl_port_battery_open(const char16_t *path, hl_handle_t *file)
{
    HANDLE h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    *file = NULL;
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    *file = (hl_handle_t)h;
    return 1;
}

int hl_port_battery_ioctl(hl_handle_t file, uint32_t code, const void *in, uint32_t in_size,
                          void *out, uint32_t out_size, uint32_t *returned)
{
    DWORD got = 0;
    BOOL ok = DeviceIoControl((HANDLE)file, code, (LPVOID)in, in_size, out, out_size, &got, NULL);
    *returned = got;
    return ok ? 1 : 0;
}

void hl_port_battery_close(hl_handle_t file)
{
    CloseHandle((HANDLE)file);
}
