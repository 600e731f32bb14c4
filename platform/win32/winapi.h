/*
 * Functions of system DLLs the library loads at first use, from the system
 * directory only, and calls through pointers of the header's own declared
 * types:
 *  - pdh, winhttp and iphlpapi are not KnownDLLs: a static import would be
 *    searched in the host program's directory first;
 *  - user32, ole32, oleaut32, ws2_32 and setupapi would be loaded with the
 *    DLL, at the start of every host process, for modules most calls never
 *    reach (user32 alone adds some 45 ms to a process start under Wine, and
 *    ties a service to a desktop). At first use they load inside a pass,
 *    where the CPU window hides their cost;
 *  - ntdll is in every process already, but the library imports only
 *    kernel32, advapi32 and msvcrt: its native queries are looked up;
 *  - shcore does not exist before Windows 8.1, where an import of it would
 *    keep the DLL from loading at all.
 */
#ifndef HL_WIN32_WINAPI_H
#define HL_WIN32_WINAPI_H

#include <windows.h>

enum {
    HL_DLL_PDH,
    HL_DLL_WINHTTP,
    HL_DLL_IPHLPAPI,
    HL_DLL_USER32,
    HL_DLL_OLE32,
    HL_DLL_OLEAUT32,
    HL_DLL_WS2_32,
    HL_DLL_NTDLL,
    HL_DLL_SETUPAPI,
    HL_DLL_SHCORE,
    HL_DLL_COUNT
};

/* The address of `name` in that DLL, or NULL when either cannot be found. */
FARPROC hl_win32_proc(int dll, const char *name);

#define HL_WIN32_FN(dll, fn) ((decltype(&fn))(void *)hl_win32_proc(dll, #fn))

/* ntdll's system-information queries; the headers declare neither with the
 * input of the Ex form. */
typedef LONG(NTAPI *hl_nt_query_system_information_fn)(ULONG info_class, PVOID buffer, ULONG length,
                                                       PULONG returned);
typedef LONG(NTAPI *hl_nt_query_system_information_ex_fn)(ULONG info_class, PVOID input,
                                                          ULONG input_length, PVOID buffer,
                                                          ULONG length, PULONG returned);

/* Functions newer than the headers' target (Windows 7) declare them:
 * SetThreadDpiAwarenessContext (user32, Windows 10 1607) takes and gives a
 * DPI_AWARENESS_CONTEXT, a handle; GetDpiForMonitor (shcore, Windows 8.1)
 * takes MDT_EFFECTIVE_DPI as 0. */
typedef HANDLE(WINAPI *hl_set_thread_dpi_awareness_context_fn)(HANDLE context);
typedef HRESULT(WINAPI *hl_get_dpi_for_monitor_fn)(HMONITOR monitor, int type, UINT *dpi_x,
                                                   UINT *dpi_y);
#define HL_MDT_EFFECTIVE_DPI 0
#define HL_WIN32_FN_AS(dll, type, name) ((type)(void *)hl_win32_proc(dll, name))

#endif
