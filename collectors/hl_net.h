/*
 * The network collector's reader of the raw interface table, over the bytes
 * GetIfTable returned.
 */
#ifndef HL_NET_H
#define HL_NET_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens_internal.h"

/* Marks the entries of `out` whose interface index (ifindex_of[i] for entry
 * i) the MIB_IFTABLE in table[0..length) reports as a software loopback.
 * Reads no row beyond `length`, whatever the row count says. */
void hl_impl_net_mark_loopbacks(const uint8_t *table, size_t length, const uint32_t *ifindex_of,
                                hl_network_info_t *out);

#endif
