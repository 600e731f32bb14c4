/*
 * Shared by the Win32 side of the port: char16_t and WCHAR have one layout.
 */
#ifndef HL_WIN32_UTIL_H
#define HL_WIN32_UTIL_H

#include <windows.h>

static_assert(sizeof(WCHAR) == sizeof(char16_t), "WCHAR is UTF-16");

static inline LPCWSTR W(const char16_t *s)
{
    return reinterpret_cast<LPCWSTR>(s);
}

static inline LPWSTR WM(char16_t *s)
{
    return reinterpret_cast<LPWSTR>(s);
}

#endif
