#include "winapi.h"

#include <atomic>

#include "hostlens_internal.h"

static const char16_t *const dll_names[HL_DLL_COUNT] = {
    u"pdh.dll",      u"winhttp.dll", u"iphlpapi.dll", u"user32.dll",   u"ole32.dll",
    u"oleaut32.dll", u"ws2_32.dll",  u"ntdll.dll",    u"setupapi.dll", u"shcore.dll"};
/* Loaded once and kept for the life of the process; racing threads may both
 * load, which only adds a reference. */
static std::atomic<HMODULE> dll_handles[HL_DLL_COUNT];

FARPROC hl_win32_proc(int dll, const char *name)
{
    HMODULE h = dll_handles[dll].load(std::memory_order_acquire);
    if (h == NULL) {
        h = (HMODULE)hl_load_system_library(dll_names[dll]);
        if (h == NULL)
            return NULL;
        dll_handles[dll].store(h, std::memory_order_release);
    }
    return GetProcAddress(h, name);
}
