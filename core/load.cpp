/*
 * Loading a system DLL at first use, from the system directory only.
 */
#include "hostlens_internal.h"

#include "hl_port.h"

/* What LoadLibraryExW answers for LOAD_LIBRARY_SEARCH_SYSTEM32 on a Windows 7
 * or Server 2008 R2 without KB2533623, which brought the flag. */
#define HL_ERROR_INVALID_PARAMETER 87u

/* MAX_PATH: the system directory is shorter on every Windows. */
#define HL_SYSTEM_DIR_UNITS 260u

void *hl_load_system_library(const char16_t *name)
{
    uint32_t error = 0;
    void *module = hl_port_load_system_library(name, &error);
    if (module != NULL || error != HL_ERROR_INVALID_PARAMETER)
        return module;
    /* The same file by its full path, never a search that could reach the
     * application's folder or the current directory. */
    char16_t path[HL_SYSTEM_DIR_UNITS + 32];
    uint32_t n = hl_port_system_directory(path, HL_SYSTEM_DIR_UNITS);
    if (n == 0 || n >= HL_SYSTEM_DIR_UNITS)
        return NULL;
    size_t name_len = 0;
    while (name[name_len] != 0)
        name_len++;
    if (n + 1 + name_len + 1 > sizeof path / sizeof path[0])
        return NULL;
    if (path[n - 1] != u'\\')
        path[n++] = u'\\';
    for (size_t i = 0; i <= name_len; i++)
        path[n + i] = name[i];
    return hl_port_load_library_path(path, &error);
}
