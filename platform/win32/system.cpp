/*
 * Text conversion, modules, version, time.
 */
#include <windows.h>
#include <time.h>

#include "hl_port.h"
#include "win32_util.h"

int hl_port_utf16_to_utf8(const char16_t *src, int src_len, char *dst, int dst_cap)
{
    return WideCharToMultiByte(CP_UTF8, 0, W(src), src_len, dst, dst_cap, NULL, NULL);
}

int hl_port_utf8_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap)
{
    return MultiByteToWideChar(CP_UTF8, 0, src, src_len, WM(dst), dst_cap);
}

void *hl_port_module_handle(const char16_t *name)
{
    return (void *)GetModuleHandleW(W(name));
}

void *hl_port_proc_address(void *module, const char *name)
{
    return (void *)GetProcAddress((HMODULE)module, name);
}

void *hl_port_load_system_library(const char16_t *name, uint32_t *error)
{
    HMODULE h = LoadLibraryExW(W(name), NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    *error = h == NULL ? GetLastError() : 0;
    return (void *)h;
}

void *hl_port_load_library_path(const char16_t *path, uint32_t *error)
{
    HMODULE h = LoadLibraryExW(W(path), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    *error = h == NULL ? GetLastError() : 0;
    return (void *)h;
}

uint32_t hl_port_system_directory(char16_t *buffer, uint32_t length)
{
    return GetSystemDirectoryW(WM(buffer), length);
}

typedef LONG(WINAPI *rtl_get_version_fn)(OSVERSIONINFOW *);

int32_t hl_port_rtl_get_version(void *fn, uint32_t *major, uint32_t *minor, uint32_t *build)
{
    OSVERSIONINFOW vi;
    ZeroMemory(&vi, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi; /* 276 */
    LONG status = ((rtl_get_version_fn)fn)(&vi);
    *major = vi.dwMajorVersion;
    *minor = vi.dwMinorVersion;
    *build = vi.dwBuildNumber;
    return status;
}

void hl_port_get_version_ex(uint32_t *major, uint32_t *minor, uint32_t *build)
{
    OSVERSIONINFOEXW vi;
    ZeroMemory(&vi, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi; /* 284 */
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    GetVersionExW((OSVERSIONINFOW *)&vi);
    *major = vi.dwMajorVersion;
    *minor = vi.dwMinorVersion;
    *build = vi.dwBuildNumber;
}

uint64_t hl_port_tick_count(void)
{
    return GetTickCount64();
}

uint64_t hl_port_system_time(void)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

int hl_port_utc_text(int64_t seconds, char *out, size_t size)
{
    struct tm tm;
    __time64_t t = (__time64_t)seconds;
    if (_gmtime64_s(&tm, &t) != 0)
        return 0;
    return strftime(out, size, "%Y-%m-%dT%H:%M:%SZ", &tm) != 0 ? 1 : 0;
}

void hl_port_sleep(uint32_t ms)
{
    Sleep(ms);
}

int hl_port_perf_counter(uint64_t *count)
{
    LARGE_INTEGER t;
    if (!QueryPerformanceCounter(&t))
        return 0;
    *count = (uint64_t)t.QuadPart;
    return 1;
}

int hl_port_perf_frequency(uint64_t *per_second)
{
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f))
        return 0;
    *per_second = (uint64_t)f.QuadPart;
    return 1;
}
