/*
 * The calling thread's state: its JSON buffer and error slot in one small
 * record, kept in a platform TLS slot. The record is made on the thread's
 * first use and released when the thread ends or the library is unloaded.
 *
 * Not thread_local: under MinGW that is GCC's emulated TLS, which aborts the
 * process when its own allocation fails and never frees what a thread held.
 */
#include "hostlens_internal.h"

#include <string.h>

#include <atomic>

#include "hl_port.h"

/* One index for the whole process, taken on first use without a lock. */
static std::atomic<uint32_t> slot(HL_TLS_NONE);

static uint32_t thread_slot(void)
{
    uint32_t index = slot.load(std::memory_order_acquire);
    if (index != HL_TLS_NONE)
        return index;
    uint32_t mine = hl_port_tls_alloc();
    if (mine == HL_TLS_NONE)
        return HL_TLS_NONE;
    uint32_t expected = HL_TLS_NONE;
    if (slot.compare_exchange_strong(expected, mine, std::memory_order_acq_rel))
        return mine;
    /* Another thread's index won: give ours back and use that one. */
    hl_port_tls_free(mine);
    return expected;
}

hl_thread_state_t *hl_thread_state(int create)
{
    uint32_t index = create ? thread_slot() : slot.load(std::memory_order_acquire);
    if (index == HL_TLS_NONE)
        return NULL;
    hl_thread_state_t *s = (hl_thread_state_t *)hl_port_tls_get(index);
    if (s != NULL || !create)
        return s;
    s = (hl_thread_state_t *)hl_port_alloc(sizeof *s);
    if (s == NULL)
        return NULL;
    memset(s, 0, sizeof *s);
    /* Past the first 64 indexes a thread's first TlsSetValue allocates. */
    if (!hl_port_tls_set(index, s)) {
        hl_port_free(s);
        return NULL;
    }
    return s;
}

void hl_thread_release(void)
{
    uint32_t index = slot.load(std::memory_order_acquire);
    if (index == HL_TLS_NONE)
        return;
    hl_thread_state_t *s = (hl_thread_state_t *)hl_port_tls_get(index);
    if (s == NULL)
        return;
    hl_port_tls_set(index, NULL);
    hl_port_free(s->json.data);
    hl_port_free(s);
}

void hl_dll_entry(uint32_t reason, const void *reserved)
{
    if (reason == HL_DLL_THREAD_DETACH) {
        hl_thread_release();
    } else if (reason == HL_DLL_PROCESS_DETACH && reserved == NULL) {
        /* FreeLibrary: the records of threads still alive cannot be reached
         * from here and stay behind. At process exit (reserved not NULL)
         * nothing is released: the process takes it all. */
        hl_thread_release();
        uint32_t index = slot.exchange(HL_TLS_NONE, std::memory_order_acq_rel);
        if (index != HL_TLS_NONE)
            hl_port_tls_free(index);
    }
}
