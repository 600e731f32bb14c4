#include "winapi.h"

#include <atomic>

static const wchar_t *const dll_names[HL_DLL_COUNT] = {
    L"pdh.dll",      L"winhttp.dll", L"iphlpapi.dll", L"user32.dll",   L"ole32.dll",
    L"oleaut32.dll", L"ws2_32.dll",  L"ntdll.dll",    L"setupapi.dll", L"shcore.dll"};
/* Loaded once and kept for the life of the process; racing threads may both
 * load, which only adds a reference. */
static std::atomic<HMODULE> dll_handles[HL_DLL_COUNT];

FARPROC hl_win32_proc(int dll, const char *name)
{
    HMODULE h = dll_handles[dll].load(std::memory_order_acquire);
    if (h == NULL) {
        h = LoadLibraryExW(dll_names[dll], NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (h == NULL)
            return NULL;
        dll_handles[dll].store(h, std::memory_order_release);
    }
    return GetProcAddress(h, name);
}
