/*
 * The small exports and the library's entry point.
 */
#include "hostlens_internal.h"

extern "C" const char *hostlens_version(void)
{
    return HOSTLENS_VERSION_STRING;
}

extern "C" const char *hostlens_last_error(void)
{
    const char *e = hl_get_error();
    return e != NULL ? e : "";
}

#ifdef _WIN32
#include <windows.h>

/* Nothing is set up at load or torn down at unload: every collector obtains
 * what it needs when it runs. */
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
#endif
