/*
 * Functions of system DLLs that are not KnownDLLs (pdh, winhttp, iphlpapi).
 * A static import of those would be searched in the host program's directory
 * first, so they are loaded at first use from the system directory only and
 * called through pointers of the header's own declared types.
 */
#ifndef HL_WIN32_WINAPI_H
#define HL_WIN32_WINAPI_H

#include <windows.h>

enum { HL_DLL_PDH, HL_DLL_WINHTTP, HL_DLL_IPHLPAPI, HL_DLL_COUNT };

/* The address of `name` in that DLL, or NULL when either cannot be found. */
FARPROC hl_win32_proc(int dll, const char *name);

#define HL_WIN32_FN(dll, fn) ((decltype(&fn))(void *)hl_win32_proc(dll, #fn))

#endif
