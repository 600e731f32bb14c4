/*
 * Network adapters from the IP helper: names, the last IPv4 and IPv6
 * unicast address of each, MAC text, the operational state, loopback marking
 * from the interface table, and the machine's local IPv4 address.
 */
#include "hostlens_internal.h"

#include "hl_access.h"
#include "hl_net.h"
#include "hl_port.h"

#include <string.h>

/* The XP-level IP_ADAPTER_ADDRESSES ends at byte 96; everything read from a
 * record lies within it. */
#define NET_MIN_RECORD 96u
#define NET_BUFFER_OVERFLOW 111u     /* ERROR_BUFFER_OVERFLOW */
#define NET_INSUFFICIENT_BUFFER 122u /* ERROR_INSUFFICIENT_BUFFER */
#define NET_OVERFLOW_RETRIES 3
/* No unicast record is smaller than this, so a buffer of n bytes can link at
 * most n / NET_MIN_UNICAST of them. */
#define NET_MIN_UNICAST 32u

/* IF_OPER_STATUS of an adapter record: 1 is up; down, testing, unknown,
 * dormant, not present and lower layer down (2 to 7) cannot pass packets. */
#define IF_OPER_STATUS_UP 1u

/* What links an entry to the interface table, for one call. */
typedef struct net_links_t {
    uint32_t ifindex_of[HL_NETIF_MAX];
    /* 1 when the adapter record is too short to carry OperStatus. */
    uint8_t state_from_table[HL_NETIF_MAX];
} net_links_t;

static void format_mac(const hl_port_adapter_t *a, char *out, size_t size)
{
    if (a->phys_len < 6) {
        hl_copy(out, size, "unknown");
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    char text[18];
    for (int i = 0; i < 6; i++) {
        text[3 * i] = hex[a->phys[i] >> 4];
        text[3 * i + 1] = hex[a->phys[i] & 15];
        text[3 * i + 2] = i < 5 ? ':' : '\0';
    }
    hl_copy(out, size, text);
}

/* Every address overwrites the previous one of its family: the last of each
 * is reported. */
static void read_unicasts(const void *first, uint32_t max_links, hl_netif_info_t *e)
{
    const void *link = first;
    for (uint32_t seen = 0; link != NULL && seen < max_links; seen++) {
        hl_port_unicast_t u;
        memset(&u, 0, sizeof u);
        hl_port_unicast_read(link, &u);
        link = u.next;
        if (!u.has_sockaddr)
            continue;
        char text[128];
        memset(text, 0, sizeof text);
        if (u.family == 2) {
            if (hl_port_inet_ntop(2, u.addr, text, 64))
                hl_copy(e->ipv4, sizeof e->ipv4, text);
        } else if (u.family == 23) {
            if (hl_port_inet_ntop(23, u.addr, text, sizeof text))
                hl_copy(e->ipv6, sizeof e->ipv6, text);
        }
    }
}

/* Walks the adapter list in buffer[0..size). Returns 0 when the first record
 * is too short to be an adapter record (the caller stops there). */
static int walk_adapters(const void *buffer, uint32_t size, hl_network_info_t *out,
                         net_links_t *links)
{
    if (size < NET_MIN_RECORD)
        return 1;
    hl_port_adapter_t a;
    memset(&a, 0, sizeof a);
    hl_port_adapter_read(buffer, &a);
    if (a.length < NET_MIN_RECORD) {
        hl_set_error("network: adapter struct too small (%lu < %lu)", (unsigned long)a.length,
                     (unsigned long)NET_MIN_RECORD);
        return 0;
    }
    /* The links come from the platform: never follow more of them than the
     * buffer has room for records, whatever they point at. */
    uint32_t max_records = size / a.length;
    uint32_t max_unicasts = size / NET_MIN_UNICAST;
    const void *record = buffer;
    for (uint32_t seen = 0; record != NULL && seen < max_records; seen++) {
        if (out->count >= HL_NETIF_MAX)
            break;
        if (seen > 0) {
            memset(&a, 0, sizeof a);
            hl_port_adapter_read(record, &a);
        }
        hl_netif_info_t *e = &out->interfaces[out->count];
        w2s(a.friendly_name, e->name, (int)sizeof e->name);
        links->ifindex_of[out->count] = a.if_index;
        e->is_loopback = 0;
        /* OperStatus came with the XP SP1 record; each record declares its
         * own length. Without it the interface table may say. */
        if (a.length >= HL_ADAPTER_OPER_STATUS_END) {
            e->is_up = hl_port_adapter_oper_status(record) == IF_OPER_STATUS_UP ? 1 : 0;
        } else {
            e->is_up = 1;
            links->state_from_table[out->count] = 1;
        }
        hl_copy(e->ipv4, sizeof e->ipv4, "unknown");
        hl_copy(e->ipv6, sizeof e->ipv6, "unknown");
        format_mac(&a, e->mac, sizeof e->mac);
        read_unicasts(a.first_unicast, max_unicasts, e);
        out->count++;
        record = a.next;
    }
    return 1;
}

/* The adapter list can grow between the size query and the call (a VPN
 * connecting, Wi-Fi coming up): the call then answers ERROR_BUFFER_OVERFLOW
 * with the new size, and is tried again. */
static int collect_adapters(void *fn, hl_network_info_t *out, net_links_t *links)
{
    uint32_t size = 0;
    (void)hl_port_adapters(fn, NULL, &size);
    if (size == 0)
        return 0;
    uint32_t allocated = size;
    void *buffer = hl_port_alloc(allocated);
    if (buffer == NULL)
        return 0;
    uint32_t rc = hl_port_adapters(fn, buffer, &size);
    for (int retry = 0; rc == NET_BUFFER_OVERFLOW && retry < NET_OVERFLOW_RETRIES; retry++) {
        hl_port_free(buffer);
        allocated = size;
        buffer = size != 0 ? hl_port_alloc(allocated) : NULL;
        if (buffer == NULL)
            return 1;
        rc = hl_port_adapters(fn, buffer, &size);
    }
    int go_on = 1;
    /* The walk is bounded by the block itself, whatever size the call wrote
     * back. */
    if (rc == 0)
        go_on = walk_adapters(buffer, size < allocated ? size : allocated, out, links);
    hl_port_free(buffer);
    return go_on;
}

static void read_if_table(const net_links_t *links, hl_network_info_t *out)
{
    uint32_t size = 0;
    if (hl_port_if_table(NULL, &size) != NET_INSUFFICIENT_BUFFER || size == 0)
        return;
    uint8_t *table = (uint8_t *)hl_port_alloc(size);
    if (table == NULL)
        return;
    uint32_t allocated = size;
    if (hl_port_if_table(table, &size) == 0 && out->count > 0)
        hl_impl_net_read_if_table(table, size < allocated ? size : allocated, links->ifindex_of,
                                  links->state_from_table, out);
    hl_port_free(table);
}

void hl_impl_network(hl_network_info_t *out)
{
    memset(out, 0, sizeof *out);
    hl_copy(out->local_ip, sizeof out->local_ip, "unknown");
    net_links_t links;
    memset(&links, 0, sizeof links);

    /* Stays loaded for the life of the process. */
    void *iphlpapi = hl_load_system_library(u"iphlpapi.dll");
    if (iphlpapi == NULL) {
        hl_set_error("network: iphlpapi.dll not found");
        return;
    }
    void *fn = hl_port_proc_address(iphlpapi, "GetAdaptersAddresses");
    if (fn == NULL) {
        hl_set_error("network: GetAdaptersAddresses not found");
        return;
    }
    if (!collect_adapters(fn, out, &links))
        return;
    read_if_table(&links, out);
    for (int i = 0; i < out->count; i++) {
        const hl_netif_info_t *e = &out->interfaces[i];
        if (!e->is_loopback && strcmp(e->ipv4, "unknown") != 0) {
            hl_copy(out->local_ip, sizeof out->local_ip, e->ipv4);
            break;
        }
    }
}
