/*
 * Processor count, logical-processor records, system and thread times, and
 * the CPUID instruction.
 */
#include <windows.h>

#if defined(_MSC_VER) && defined(_M_X64)
#include <intrin.h>
#elif defined(__x86_64__)
#include <cpuid.h>
#endif

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

int hl_port_thread_times(uint64_t *kernel, uint64_t *user)
{
    FILETIME created, exited, k, u;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &k, &u))
        return 0;
    *kernel = ticks(&k);
    *user = ticks(&u);
    return 1;
}

int hl_port_cpuid(uint32_t leaf, uint32_t subleaf, uint32_t out[4])
{
#if defined(_MSC_VER) && defined(_M_X64)
    int r[4];
    __cpuidex(r, (int)leaf, (int)subleaf);
    for (int i = 0; i < 4; i++)
        out[i] = (uint32_t)r[i];
    return 1;
#elif defined(__x86_64__)
    unsigned a, b, c, d;
    __cpuid_count(leaf, subleaf, a, b, c, d);
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
    return 1;
#else
    (void)leaf;
    (void)subleaf;
    (void)out;
    return 0;
#endif
}
