/*
 * The network collector's reader of the raw interface table, over the bytes
 * GetIfTable returned.
 */
#ifndef HL_NET_H
#define HL_NET_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens_internal.h"

/* MIB_IFTABLE: a DWORD row count, then MIB_IFROW rows of 860 bytes. The
 * 256-unit name comes first, so dwIndex sits at 512, dwType at 516 and
 * dwOperStatus at 544. */
#define HL_IFTABLE_HEADER 4u
#define HL_IFROW_SIZE 860u
#define HL_IFROW_INDEX 512u
#define HL_IFROW_TYPE 516u
#define HL_IFROW_OPER_STATUS 544u
#define HL_IFTABLE_MAX_ROWS 256u

/* For each row of the MIB_IFTABLE in table[0..length) and each entry i of
 * `out` whose interface index (ifindex_of[i]) is the row's: marks the entry
 * a loopback when the row's type is a software loopback, and, when
 * state_from_table[i] is set, takes is_up from the row's operational status.
 * Reads no row beyond `length`, whatever the row count says, and at most 256
 * rows. */
void hl_impl_net_read_if_table(const uint8_t *table, size_t length, const uint32_t *ifindex_of,
                               const uint8_t *state_from_table, hl_network_info_t *out);

#endif
