/*
 * The real DLL under Wine: a thread's buffer and error slot go when the
 * thread ends, and a thread whose first call finds no memory gets NULL, not
 * an aborted process.
 */
#include "wine_common.h"

#include <stdio.h>
#include <string.h>

namespace
{

struct call_result {
    const char *export_name;
    bool whole;
};

DWORD WINAPI call_once(void *arg)
{
    call_result *r = (call_result *)arg;
    const char *text = hl_fn(r->export_name)();
    r->whole = text != NULL && nlohmann::json::accept(text);
    return 0;
}

/* Runs one call on a thread of its own and waits for the thread's end. */
bool on_short_thread(const char *export_name)
{
    call_result r = {export_name, false};
    HANDLE h = CreateThread(NULL, 0, call_once, &r, 0, NULL);
    if (h == NULL)
        return false;
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    return r.whole;
}

} // namespace

TEST(WineThreadState, ShortLivedThreadsLeaveNothingBehind)
{
    /* The first thread pays for what the process keeps after first use. */
    ASSERT_TRUE(on_short_thread("hostlens_memory"));
    ASSERT_TRUE(on_short_thread("hostlens_kernel"));
    const unsigned long long heap0 = hl_heap_in_use();
    const int threads = 2000;
    int bad = 0;
    for (int i = 0; i < threads; i++)
        bad += on_short_thread(i % 2 ? "hostlens_memory" : "hostlens_kernel") ? 0 : 1;
    const unsigned long long heap1 = hl_heap_in_use();
    long long grown = (long long)heap1 - (long long)heap0;
    printf("thread churn: %d threads, heap in use %llu -> %llu bytes (%+lld, %.1f bytes per "
           "thread)\n",
           threads, heap0, heap1, grown, (double)grown / threads);
    EXPECT_EQ(bad, 0);
    EXPECT_LT(grown, 1024 * 1024);
}

namespace
{

/* Where the DLL's calls to msvcrt.dll!name go: its import address table
 * slot, read from its own headers in memory. */
void **import_slot(HMODULE module, const char *dll, const char *name)
{
    BYTE *base = (BYTE *)module;
    IMAGE_NT_HEADERS64 *nt = (IMAGE_NT_HEADERS64 *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);
         d->Name != 0; d++) {
        if (_stricmp((const char *)(base + d->Name), dll) != 0)
            continue;
        IMAGE_THUNK_DATA64 *names = (IMAGE_THUNK_DATA64 *)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA64 *slots = (IMAGE_THUNK_DATA64 *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME *by_name =
                (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)by_name->Name, name) == 0)
                return (void **)&slots->u1.Function;
        }
    }
    return NULL;
}

void put_slot(void **slot, void *value)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

volatile LONG refused;

void *__cdecl no_malloc(size_t)
{
    InterlockedIncrement(&refused);
    return NULL;
}

void *__cdecl no_calloc(size_t, size_t)
{
    InterlockedIncrement(&refused);
    return NULL;
}

void *__cdecl no_realloc(void *, size_t)
{
    InterlockedIncrement(&refused);
    return NULL;
}

struct exhausted_call {
    HANDLE refused_done, restored;
    bool first_null, first_error_empty, second_whole;
};

DWORD WINAPI first_call_without_memory(void *arg)
{
    exhausted_call *c = (exhausted_call *)arg;
    c->first_null = hl_fn("hostlens_memory")() == NULL;
    const char *error = hl_fn("hostlens_last_error")();
    c->first_error_empty = error != NULL && error[0] == '\0';
    SetEvent(c->refused_done);
    WaitForSingleObject(c->restored, INFINITE);
    const char *text = hl_fn("hostlens_memory")();
    c->second_whole = text != NULL && nlohmann::json::accept(text);
    return 0;
}

} // namespace

TEST(WineThreadState, FirstCallWithoutMemoryIsNullNotAnAbort)
{
    /* Every allocator the DLL imports refuses while a fresh thread makes its
     * first call; the test's own threads and Wine do not go through the
     * DLL's import table, so only the library is starved. */
    const char *const names[] = {"malloc", "calloc", "realloc"};
    void *const stand_ins[] = {(void *)no_malloc, (void *)no_calloc, (void *)no_realloc};
    void **slots[3];
    void *originals[3];
    for (int i = 0; i < 3; i++) {
        slots[i] = import_slot(hl_dll, "msvcrt.dll", names[i]);
        ASSERT_NE(slots[i], nullptr) << names[i];
        originals[i] = *slots[i];
    }
    exhausted_call c = {CreateEventW(NULL, TRUE, FALSE, NULL),
                        CreateEventW(NULL, TRUE, FALSE, NULL), false, false, false};
    refused = 0;
    for (int i = 0; i < 3; i++)
        put_slot(slots[i], stand_ins[i]);
    HANDLE h = CreateThread(NULL, 0, first_call_without_memory, &c, 0, NULL);
    ASSERT_NE(h, nullptr);
    WaitForSingleObject(c.refused_done, INFINITE);
    for (int i = 0; i < 3; i++)
        put_slot(slots[i], originals[i]);
    SetEvent(c.restored);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    CloseHandle(c.refused_done);
    CloseHandle(c.restored);
    EXPECT_GT(refused, 0) << "the first call asked for no memory at all";
    EXPECT_TRUE(c.first_null);
    EXPECT_TRUE(c.first_error_empty);
    EXPECT_TRUE(c.second_whole) << "the thread recovers once memory is back";
}
