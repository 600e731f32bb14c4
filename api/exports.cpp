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

/* Nothing is set up at load: every collector obtains what it needs when it
 * runs. A thread's record goes when the thread ends or the DLL is freed. */
static_assert(DLL_PROCESS_DETACH == HL_DLL_PROCESS_DETACH &&
                  DLL_THREAD_DETACH == HL_DLL_THREAD_DETACH,
              "the entry point's reasons as the library numbers them");

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    hl_dll_entry(reason, reserved);
    return TRUE;
}
#endif
