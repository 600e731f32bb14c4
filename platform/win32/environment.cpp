/*
 * Environment variables, account and host names, the system locale, and
 * the process snapshot.
 */
#include <windows.h>
#include <tlhelp32.h>

#include "hl_port.h"
#include "win32_util.h"

uint32_t hl_port_getenv(const char16_t *name, char16_t *buffer, uint32_t length)
{
    return GetEnvironmentVariableW(W(name), WM(buffer), length);
}

int hl_port_user_name(char16_t *buffer, uint32_t *length)
{
    DWORD n = *length;
    BOOL ok = GetUserNameW(WM(buffer), &n);
    *length = n;
    return ok ? 1 : 0;
}

int hl_port_computer_name(char16_t *buffer, uint32_t *length)
{
    DWORD n = *length;
    BOOL ok = GetComputerNameExW(ComputerNameDnsHostname, WM(buffer), &n);
    *length = n;
    return ok ? 1 : 0;
}

static_assert(HL_LOCALE_SYSTEM_DEFAULT == LOCALE_SYSTEM_DEFAULT, "the port's locale identifier");

int hl_port_locale_name(uint32_t locale, char16_t *buffer, int length)
{
    return GetLocaleInfoW((LCID)locale, LOCALE_SNAME, WM(buffer), length);
}

int hl_port_process_snapshot(hl_handle_t *snapshot)
{
    HANDLE h = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    *snapshot = h == INVALID_HANDLE_VALUE ? NULL : (hl_handle_t)h;
    return h == INVALID_HANDLE_VALUE ? 0 : 1;
}

/* dwSize must be set before each walk call: 568 on x64. */
int hl_port_process_first(hl_handle_t snapshot)
{
    PROCESSENTRY32W entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    return Process32FirstW((HANDLE)snapshot, &entry) ? 1 : 0;
}

int hl_port_process_next(hl_handle_t snapshot)
{
    PROCESSENTRY32W entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    return Process32NextW((HANDLE)snapshot, &entry) ? 1 : 0;
}

void hl_port_close_handle(hl_handle_t handle)
{
    CloseHandle((HANDLE)handle);
}
