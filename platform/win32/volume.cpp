/*
 * Drive letters and volumes.
 */
#include <windows.h>

#include "hl_port.h"
#include "win32_util.h"

uint32_t hl_port_logical_drives(char16_t *buffer, uint32_t length)
{
    return GetLogicalDriveStringsW(length, WM(buffer));
}

uint32_t hl_port_drive_type(const char16_t *root)
{
    return GetDriveTypeW(W(root));
}

int hl_port_dos_device(const char16_t *drive, char16_t *target, uint32_t units)
{
    return QueryDosDeviceW(W(drive), WM(target), units) != 0 ? 1 : 0;
}

int hl_port_volume_info(const char16_t *root, char16_t *label, uint32_t label_len, char16_t *fs,
                        uint32_t fs_len)
{
    DWORD serial = 0;
    BOOL ok =
        GetVolumeInformationW(W(root), WM(label), label_len, &serial, NULL, NULL, WM(fs), fs_len);
    return ok ? 1 : 0;
}

int hl_port_disk_space(const char16_t *root, uint64_t *available, uint64_t *total,
                       uint64_t *total_free)
{
    ULARGE_INTEGER caller, t, f;
    if (!GetDiskFreeSpaceExW(W(root), &caller, &t, &f))
        return 0;
    *available = caller.QuadPart;
    *total = t.QuadPart;
    *total_free = f.QuadPart;
    return 1;
}

hl_handle_t hl_port_volume_find_first(char16_t *name, uint32_t units)
{
    HANDLE find = FindFirstVolumeW(WM(name), units);
    return find != INVALID_HANDLE_VALUE ? (hl_handle_t)find : NULL;
}

int hl_port_volume_find_next(hl_handle_t find, char16_t *name, uint32_t units)
{
    return FindNextVolumeW((HANDLE)find, WM(name), units) ? 1 : 0;
}

void hl_port_volume_find_close(hl_handle_t find)
{
    if (find != NULL)
        FindVolumeClose((HANDLE)find);
}

uint32_t hl_port_volume_paths(const char16_t *volume, char16_t *paths, uint32_t units,
                              uint32_t *needed)
{
    DWORD length = 0;
    BOOL ok = GetVolumePathNamesForVolumeNameW(W(volume), WM(paths), units, &length);
    *needed = length;
    return ok ? 0 : (uint32_t)GetLastError();
}
