/*
 * Devices opened for queries only, and their control codes.
 */
#include <windows.h>
#include <winioctl.h>

#include "hl_port.h"
#include "win32_util.h"

static_assert(HL_IOCTL_STORAGE_QUERY_PROPERTY == IOCTL_STORAGE_QUERY_PROPERTY, "winioctl.h");
static_assert(HL_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX,
              "winioctl.h");
static_assert(HL_IOCTL_DISK_PERFORMANCE == IOCTL_DISK_PERFORMANCE, "winioctl.h");
static_assert(HL_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS,
              "winioctl.h");

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
