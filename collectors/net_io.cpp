/*
 * Traffic counters of every network interface, from the interface table of
 * one GetIfTable2 call.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_activity.h"
#include "hl_port.h"

void hl_impl_net_io(hl_net_io_list_t *out)
{
    memset(out, 0, sizeof *out);
    void *table = NULL;
    uint32_t status = hl_port_if_table2(&table);
    if (table == NULL)
        return;
    if (status == 0) {
        /* The table declares its rows, and the system sized it to hold them. */
        uint32_t rows;
        memcpy(&rows, table, sizeof rows);
        size_t length = HL_IFTABLE2_HEADER + (size_t)rows * HL_IFROW2_SIZE;
        hl_impl_net_io_parse((const uint8_t *)table, length, out);
    }
    hl_port_free_mib_table(table);
}

void hl_net_io_release(hl_net_io_list_t *r)
{
    hl_port_free(r->items);
    r->items = NULL;
    r->count = r->capacity = 0;
}
