/*
 * The readers of processor times, the interface table and the process list
 * over the bytes the platform returned. Every field is copied out with
 * memcpy: nothing assumes the span is aligned, and nothing is read outside
 * it.
 */
#include "hl_activity.h"

#include <string.h>

#include "hl_port.h"

static uint64_t rd64(const uint8_t *p)
{
    uint64_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

static uint32_t rd32(const uint8_t *p)
{
    uint32_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

static uint16_t rd16(const uint8_t *p)
{
    uint16_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

/* Room for `more` entries after `count`; 0 when memory ran out. */
static int reserve(void **items, int32_t *capacity, int32_t count, size_t more, size_t size)
{
    if (more > (size_t)(INT32_MAX - count))
        return 0;
    return hl_list_reserve(items, capacity, count + (int32_t)more, size);
}

/* ---- processor times ------------------------------------------------------ */

int hl_impl_cpu_times_parse(const uint8_t *p, size_t length, uint32_t group, hl_cpu_times_t *out)
{
    size_t n = length / HL_PPI_SIZE;
    if (n == 0)
        return 0;
    if (!reserve((void **)&out->cores, &out->capacity, out->count, n, sizeof(hl_core_times_t))) {
        out->out_of_memory = 1;
        return -1;
    }
    for (size_t i = 0; i < n; i++) {
        const uint8_t *e = p + i * HL_PPI_SIZE;
        hl_core_times_t *c = &out->cores[out->count++];
        c->group = group;
        c->index = (uint32_t)i;
        uint64_t idle = rd64(e + HL_PPI_IDLE), kernel = rd64(e + HL_PPI_KERNEL);
        c->ticks.user = rd64(e + HL_PPI_USER);
        c->ticks.idle = idle;
        c->kernel = kernel;
        /* Kernel time counts idle time in; less of it than idle contradicts
         * itself, and a difference of the two would be garbage. */
        c->ticks.privileged = kernel >= idle ? kernel - idle : HL_COUNTER_UNKNOWN;
        c->ticks.interrupt = rd64(e + HL_PPI_INTERRUPT);
        c->ticks.dpc = rd64(e + HL_PPI_DPC);
    }
    return (int)n;
}

/* ---- interface table ------------------------------------------------------ */

/* A NUL-terminated UTF-16 field of `units` units as UTF-8 into out (size
 * bytes), or "unknown" when it is empty or cannot be converted. */
static void text_field(const uint8_t *p, size_t units, char *out, size_t size)
{
    char16_t text[HL_IFROW2_TEXT_UNITS];
    if (units > HL_IFROW2_TEXT_UNITS)
        units = HL_IFROW2_TEXT_UNITS;
    memcpy(text, p, units * 2);
    size_t len = 0;
    while (len < units && text[len] != 0)
        len++;
    int n = len > 0 ? hl_port_utf16_to_utf8(text, (int)len, out, (int)size - 1) : 0;
    if (n <= 0 || (size_t)n >= size) {
        hl_copy(out, size, "unknown");
        return;
    }
    out[n] = '\0';
}

/* Six upper-case hex pairs, as the network module writes an address. */
static void mac_text(const uint8_t *row, char *out, size_t size)
{
    uint32_t length = rd32(row + HL_IFROW2_PHYS_LENGTH);
    if (length < 6 || length > 32) {
        hl_copy(out, size, "unknown");
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    char text[18];
    const uint8_t *a = row + HL_IFROW2_PHYS;
    for (int i = 0; i < 6; i++) {
        text[3 * i] = hex[a[i] >> 4];
        text[3 * i + 1] = hex[a[i] & 15];
        text[3 * i + 2] = i < 5 ? ':' : '\0';
    }
    hl_copy(out, size, text);
}

#define IF_OPER_STATUS_UP 1u

int hl_impl_net_io_parse(const uint8_t *p, size_t length, hl_net_io_list_t *out)
{
    if (length < HL_IFTABLE2_HEADER)
        return 0;
    size_t rows = rd32(p);
    size_t room = (length - HL_IFTABLE2_HEADER) / HL_IFROW2_SIZE;
    if (rows > room)
        rows = room;
    if (rows == 0)
        return 0;
    if (!reserve((void **)&out->items, &out->capacity, out->count, rows,
                 sizeof(hl_net_io_entry_t))) {
        out->out_of_memory = 1;
        return -1;
    }
    for (size_t i = 0; i < rows; i++) {
        const uint8_t *r = p + HL_IFTABLE2_HEADER + i * HL_IFROW2_SIZE;
        hl_net_io_entry_t *e = &out->items[out->count++];
        e->luid = rd64(r + HL_IFROW2_LUID);
        e->if_index = rd32(r + HL_IFROW2_INDEX);
        text_field(r + HL_IFROW2_ALIAS, HL_IFROW2_TEXT_UNITS, e->name, sizeof e->name);
        text_field(r + HL_IFROW2_DESCRIPTION, HL_IFROW2_TEXT_UNITS, e->description,
                   sizeof e->description);
        mac_text(r, e->mac, sizeof e->mac);
        uint8_t flags = r[HL_IFROW2_FLAGS];
        e->hardware = flags & 1u;
        e->filter = (flags >> 1) & 1u;
        e->is_up = rd32(r + HL_IFROW2_OPER_STATUS) == IF_OPER_STATUS_UP ? 1 : 0;
        e->rx_bytes = rd64(r + HL_IFROW2_IN_OCTETS);
        e->tx_bytes = rd64(r + HL_IFROW2_OUT_OCTETS);
        e->rx_packets = rd64(r + HL_IFROW2_IN_UCAST) + rd64(r + HL_IFROW2_IN_NUCAST);
        e->tx_packets = rd64(r + HL_IFROW2_OUT_UCAST) + rd64(r + HL_IFROW2_OUT_NUCAST);
        e->rx_errors = rd64(r + HL_IFROW2_IN_ERRORS);
        e->tx_errors = rd64(r + HL_IFROW2_OUT_ERRORS);
        e->rx_discards = rd64(r + HL_IFROW2_IN_DISCARDS);
        e->tx_discards = rd64(r + HL_IFROW2_OUT_DISCARDS);
        e->rx_unknown = rd64(r + HL_IFROW2_IN_UNKNOWN);
        /* 64-bit bits per second; all ones is NDIS's "unknown", which is
         * HL_COUNTER_UNKNOWN as it stands. */
        e->rx_speed_bps = rd64(r + HL_IFROW2_RX_SPEED);
        e->tx_speed_bps = rd64(r + HL_IFROW2_TX_SPEED);
    }
    return (int)rows;
}

/* ---- process list ----------------------------------------------------------- */

/* FILETIME of 1970-01-01. */
#define FILETIME_UNIX_EPOCH UINT64_C(116444736000000000)

void hl_impl_filetime_text(uint64_t filetime, char *out, size_t size)
{
    if (filetime == 0 || filetime < FILETIME_UNIX_EPOCH ||
        !hl_port_utc_text((int64_t)((filetime - FILETIME_UNIX_EPOCH) / 10000000u), out, size))
        hl_copy(out, size, "unknown");
}

/* The name of the entry at e, appended to the list's text; 0 when memory
 * ran out. */
static int read_name(const uint8_t *p, size_t length, uint64_t address, const uint8_t *e,
                     hl_process_list_t *out, hl_process_entry_t *pe)
{
    pe->name_at = -1;
    pe->name_length = 0;
    size_t units = rd16(e + HL_SPI_NAME_LENGTH) / 2;
    uint64_t buffer = rd64(e + HL_SPI_NAME_BUFFER);
    static const char idle_name[] = "System Idle Process";
    if (units == 0 || buffer == 0) {
        /* The idle process is the one without a name; Task Manager calls it
         * this. */
        if (pe->pid != 0)
            return 1;
        units = 0;
    } else {
        /* The pointer must lead inside the span, to a whole name on a
         * UTF-16 boundary; anything else is not read. */
        if (buffer < address || buffer - address > length ||
            units * 2 > length - (size_t)(buffer - address))
            return 1;
        if (((uintptr_t)(p + (buffer - address)) & 1u) != 0)
            return 1;
    }
    size_t need = units > 0 ? units * 3 : sizeof idle_name - 1;
    if (!reserve((void **)&out->text, &out->text_capacity, out->text_length, need, 1)) {
        out->out_of_memory = 1;
        return 0;
    }
    char *at = out->text + out->text_length;
    int n;
    if (units == 0) {
        memcpy(at, idle_name, sizeof idle_name - 1);
        n = (int)(sizeof idle_name - 1);
    } else {
        n = hl_port_utf16_to_utf8((const char16_t *)(const void *)(p + (buffer - address)),
                                  (int)units, at, (int)need);
        if (n <= 0 || (size_t)n > need)
            return 1;
    }
    pe->name_at = out->text_length;
    pe->name_length = n;
    out->text_length += n;
    return 1;
}

int hl_impl_processes_parse(const uint8_t *p, size_t length, uint64_t address,
                            hl_process_list_t *out)
{
    int added = 0;
    size_t at = 0;
    while (length - at >= HL_SPI_SIZE) {
        const uint8_t *e = p + at;
        if (!reserve((void **)&out->items, &out->capacity, out->count, 1,
                     sizeof(hl_process_entry_t))) {
            out->out_of_memory = 1;
            return -1;
        }
        hl_process_entry_t *pe = &out->items[out->count];
        pe->pid = rd64(e + HL_SPI_PID);
        pe->ppid = rd64(e + HL_SPI_PPID);
        pe->threads = rd32(e + HL_SPI_THREADS);
        pe->handles = rd32(e + HL_SPI_HANDLES);
        pe->create_time = rd64(e + HL_SPI_CREATE_TIME);
        pe->user = rd64(e + HL_SPI_USER_TIME);
        pe->kernel = rd64(e + HL_SPI_KERNEL_TIME);
        pe->working_set_bytes = rd64(e + HL_SPI_WORKING_SET);
        pe->private_bytes = rd64(e + HL_SPI_PRIVATE);
        hl_impl_filetime_text(pe->create_time, pe->start_time, sizeof pe->start_time);
        if (!read_name(p, length, address, e, out, pe))
            return -1;
        out->count++;
        added++;
        /* Every entry holds at least its fixed part: a shorter step would
         * read the same bytes again, and the walk stays linear in the span. */
        uint32_t next = rd32(e + HL_SPI_NEXT);
        if (next < HL_SPI_SIZE || next > length - at)
            break;
        at += next;
    }
    return added;
}
