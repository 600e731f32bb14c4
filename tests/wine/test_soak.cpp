/*
 * The fast exports called over and over on one thread: the heap bytes in
 * use and the handle count stay where the first round left them.
 * HOSTLENS_SOAK_CALLS sets the calls per export (scripts/soak).
 */
#include "wine_common.h"

#include <stdio.h>
#include <stdlib.h>

namespace
{

const char *const fast_exports[] = {
    "hostlens_memory", "hostlens_swap",    "hostlens_uptime",        "hostlens_kernel",
    "hostlens_os",     "hostlens_disk",    "hostlens_network",       "hostlens_host",
    "hostlens_user",   "hostlens_locale",  "hostlens_process_count", "hostlens_packages",
    "hostlens_shell",  "hostlens_terminal"};
const size_t export_count = sizeof fast_exports / sizeof fast_exports[0];

DWORD handle_count()
{
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
}

/* The value of the next handle the process is given. Wine's handle count
 * stays 0, but it hands out the lowest free slot, so a handle left open
 * moves this value. */
uintptr_t next_handle()
{
    HANDLE h = CreateEventW(NULL, FALSE, FALSE, NULL);
    CloseHandle(h);
    return (uintptr_t)h;
}

long calls_per_export()
{
    const char *v = getenv("HOSTLENS_SOAK_CALLS");
    long n = v != NULL ? strtol(v, NULL, 10) : 0;
    return n > 0 ? n : 2000;
}

} // namespace

TEST(WineSoak, HeapAndHandlesStayFlat)
{
    hl_doc_fn fns[export_count];
    for (size_t i = 0; i < export_count; i++) {
        fns[i] = hl_fn(fast_exports[i]);
        ASSERT_NE(fns[i], (hl_doc_fn)NULL) << fast_exports[i];
    }
    /* The first round leaves the thread's JSON block and whatever the system
     * keeps after first use (loaded DLLs, Wine's registry and locale caches). */
    for (int warm = 0; warm < 3; warm++)
        for (size_t i = 0; i < export_count; i++)
            ASSERT_NE(fns[i](), (const char *)NULL);
    const unsigned long long heap0 = hl_heap_in_use();
    const DWORD handles0 = handle_count();
    const uintptr_t slot0 = next_handle();

    const long n = calls_per_export();
    long bad = 0;
    ULONGLONG t0 = GetTickCount64();
    for (long k = 0; k < n; k++)
        for (size_t i = 0; i < export_count; i++) {
            const char *t = fns[i]();
            if (t == NULL || t[0] != '{')
                bad++;
        }
    ULONGLONG took = GetTickCount64() - t0;

    const unsigned long long heap1 = hl_heap_in_use();
    const DWORD handles1 = handle_count();
    const uintptr_t slot1 = next_handle();
    printf("soak: %ld calls of each of %zu exports in %llu ms; heap in use %llu -> %llu bytes, "
           "handles %lu -> %lu, next handle %#llx -> %#llx\n",
           n, export_count, (unsigned long long)took, heap0, heap1, (unsigned long)handles0,
           (unsigned long)handles1, (unsigned long long)slot0, (unsigned long long)slot1);
    EXPECT_EQ(bad, 0);
    /* At most one more first block of the thread's JSON buffer. */
    EXPECT_LE(heap1, heap0 + 65536);
    EXPECT_LE(handles1, handles0);
    EXPECT_EQ(slot1, slot0);
    for (size_t i = 0; i < export_count; i++)
        hl_parse(fns[i]());
}
