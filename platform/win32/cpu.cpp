/*
 * Processor count, logical-processor records and system times.
 */
#include <windows.h>

#include "hl_port.h"

uint32_t hl_port_processor_count(void)
{
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwNumberOfProcessors;
}

int hl_port_logical_processor_info(uint32_t relationship, void *buffer, uint32_t *length)
{
    DWORD n = *length;
    BOOL ok =
        GetLogicalProcessorInformationEx((LOGICAL_PROCESSOR_RELATIONSHIP)relationship,
                                         (PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX)buffer, &n);
    *length = n;
    return ok ? 1 : 0;
}

static uint64_t ticks(const FILETIME *ft)
{
    return ((uint64_t)ft->dwHighDateTime << 32) | ft->dwLowDateTime;
}

int hl_port_system_times(uint64_t *idle, uint64_t *kernel, uint64_t *user)
{
    FILETIME i, k, u;
    if (!GetSystemTimes(&i, &k, &u))
        return 0;
    *idle = ticks(&i);
    *kernel = ticks(&k);
    *user = ticks(&u);
    return 1;
}
