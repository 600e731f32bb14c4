/*
 * Devices opened for queries only, and their control codes.
 */
#include <windows.h>
#include <winioctl.h>
#include <stddef.h>

#include "hl_disks.h"
#include "hl_port.h"
#include "win32_util.h"

static_assert(HL_IOCTL_STORAGE_QUERY_PROPERTY == IOCTL_STORAGE_QUERY_PROPERTY, "winioctl.h");
static_assert(HL_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX,
              "winioctl.h");
static_assert(HL_IOCTL_DISK_PERFORMANCE == IOCTL_DISK_PERFORMANCE, "winioctl.h");
static_assert(HL_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS,
              "winioctl.h");

/* The answers' layouts as the portable readers take them (hl_disks.h). */
static_assert(HL_STORAGE_DEVICE_PROPERTY == StorageDeviceProperty, "StorageDeviceProperty");
static_assert(HL_STORAGE_SEEK_PENALTY_PROPERTY == StorageDeviceSeekPenaltyProperty,
              "StorageDeviceSeekPenaltyProperty");
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, Size) == 4 &&
                  offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12 &&
                  offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset) == 16 &&
                  offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24 &&
                  offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28,
              "STORAGE_DEVICE_DESCRIPTOR");
static_assert(BusTypeNvme == 17, "STORAGE_BUS_TYPE");
static_assert(offsetof(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty) == 8,
              "DEVICE_SEEK_PENALTY_DESCRIPTOR");
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24, "DISK_GEOMETRY_EX");
static_assert(offsetof(DISK_PERFORMANCE, BytesRead) == 0 &&
                  offsetof(DISK_PERFORMANCE, IdleTime) == 32 &&
                  offsetof(DISK_PERFORMANCE, ReadCount) == 40 &&
                  offsetof(DISK_PERFORMANCE, SplitCount) == 52,
              "DISK_PERFORMANCE");
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == HL_EXTENTS_HEADER &&
                  sizeof(DISK_EXTENT) == HL_EXTENT_SIZE && offsetof(DISK_EXTENT, DiskNumber) == 0,
              "VOLUME_DISK_EXTENTS");

uint32_t hl_port_device_open(const char16_t *path, hl_handle_t *device)
{
    HANDLE h =
        CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        *device = NULL;
        DWORD error = GetLastError();
        return error != 0 ? error : ERROR_GEN_FAILURE;
    }
    *device = (hl_handle_t)h;
    return 0;
}

uint32_t hl_port_device_ioctl(hl_handle_t device, uint32_t code, const void *in, uint32_t in_size,
                              void *out, uint32_t out_size, uint32_t *returned)
{
    DWORD n = 0;
    BOOL ok = DeviceIoControl((HANDLE)device, code, (LPVOID)in, in_size, out, out_size, &n, NULL);
    *returned = n;
    if (ok)
        return 0;
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

void hl_port_device_close(hl_handle_t device)
{
    CloseHandle((HANDLE)device);
}
