/*
 * The interface table as GetIfTable lays it out: loopback marking and the
 * operational state of adapters whose own record is too short to carry it.
 */
#include "hl_net.h"

#include <string.h>

#define IF_TYPE_SOFTWARE_LOOPBACK 24u
/* INTERNAL_IF_OPER_STATUS, not IF_OPER_STATUS: 0 to 3 are non-operational,
 * unreachable, disconnected and connecting; a LAN adapter that can pass
 * packets is OPERATIONAL, a WAN one CONNECTED. */
#define MIB_IF_OPER_STATUS_CONNECTED 4u
#define MIB_IF_OPER_STATUS_OPERATIONAL 5u

static uint32_t read_u32(const uint8_t *p)
{
    uint32_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

void hl_impl_net_read_if_table(const uint8_t *table, size_t length, const uint32_t *ifindex_of,
                               const uint8_t *state_from_table, hl_network_info_t *out)
{
    if (length < HL_IFTABLE_HEADER)
        return;
    size_t rows = read_u32(table);
    size_t room = (length - HL_IFTABLE_HEADER) / HL_IFROW_SIZE;
    if (rows > room)
        rows = room;
    if (rows > HL_IFTABLE_MAX_ROWS)
        rows = HL_IFTABLE_MAX_ROWS;
    for (size_t r = 0; r < rows; r++) {
        const uint8_t *row = table + HL_IFTABLE_HEADER + r * HL_IFROW_SIZE;
        uint32_t index = read_u32(row + HL_IFROW_INDEX);
        int loopback = read_u32(row + HL_IFROW_TYPE) == IF_TYPE_SOFTWARE_LOOPBACK;
        uint32_t oper = read_u32(row + HL_IFROW_OPER_STATUS);
        int up = oper == MIB_IF_OPER_STATUS_CONNECTED || oper == MIB_IF_OPER_STATUS_OPERATIONAL;
        for (int i = 0; i < out->count; i++) {
            if (ifindex_of[i] != index)
                continue;
            if (loopback)
                out->interfaces[i].is_loopback = 1;
            if (state_from_table[i])
                out->interfaces[i].is_up = up;
        }
    }
}
