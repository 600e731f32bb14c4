/*
 * Heap and memory status.
 */
#include <windows.h>
#include <stdlib.h>

#include "hl_port.h"

void *hl_port_alloc(size_t size)
{
    return malloc(size);
}

void *hl_port_realloc(void *block, size_t size)
{
    return realloc(block, size);
}

void hl_port_free(void *block)
{
    free(block);
}

int hl_port_memory_status(hl_port_memory_t *out)
{
    MEMORYSTATUSEX ms;
    ZeroMemory(&ms, sizeof ms);
    ms.dwLength = sizeof ms; /* 64 */
    if (!GlobalMemoryStatusEx(&ms))
        return 0;
    out->total_phys = ms.ullTotalPhys;
    out->avail_phys = ms.ullAvailPhys;
    out->total_page_file = ms.ullTotalPageFile;
    out->avail_page_file = ms.ullAvailPageFile;
    return 1;
}
