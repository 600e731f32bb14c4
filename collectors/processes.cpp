/*
 * Every process, from one NtQuerySystemInformation(SystemProcessInformation)
 * call: no process is opened, so no process is left out for want of access.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_activity.h"
#include "hl_port.h"

/* A desktop's list (some 300 processes and 4,000 threads, at 256 bytes a
 * process and 80 a thread: about 400 KB) fits the first block; a larger
 * one takes a second call. */
#define PROCESSES_FIRST_BLOCK (1024u * 1024u)
#define PROCESSES_MAX_BLOCK (1024u * 1024u * 1024u)
#define PROCESSES_ATTEMPTS 6

void hl_impl_processes(hl_process_list_t *out)
{
    memset(out, 0, sizeof *out);
    uint32_t size = PROCESSES_FIRST_BLOCK;
    for (int attempt = 0; attempt < PROCESSES_ATTEMPTS; attempt++) {
        void *block = hl_port_alloc(size);
        if (block == NULL) {
            out->out_of_memory = 1;
            return;
        }
        uint32_t got = 0;
        int32_t status = hl_port_system_info(HL_SYSTEM_PROCESS_INFORMATION, block, size, &got);
        if (status == 0)
            hl_impl_processes_parse((const uint8_t *)block, got < size ? got : size,
                                    (uint64_t)(uintptr_t)block, out);
        hl_port_free(block);
        if (status != HL_STATUS_INFO_LENGTH_MISMATCH)
            return;
        /* Processes start between the calls: the size asked for gets an
         * eighth more room. A platform that asks for no more than it had
         * gets twice as much. */
        uint64_t want = got > size ? got : (uint64_t)size * 2;
        want += want / 8;
        if (want > PROCESSES_MAX_BLOCK)
            return;
        size = (uint32_t)want;
    }
}

void hl_processes_release(hl_process_list_t *r)
{
    hl_port_free(r->items);
    hl_port_free(r->text);
    r->items = NULL;
    r->text = NULL;
    r->count = r->capacity = r->text_length = r->text_capacity = 0;
}
