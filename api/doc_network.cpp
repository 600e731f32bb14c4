/*
 * Document of the network module.
 */
#include "hostlens_internal.h"

void hl_write_network(hl_json_t *j, const hl_network_info_t *r)
{
    hl_json_key(j, "interfaces");
    hl_json_raw(j, "[");
    for (int i = 0; i < r->count && i < HL_NETIF_MAX; i++) {
        const hl_netif_info_t *e = &r->interfaces[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "name", e->name);
        hl_json_comma(j);
        hl_json_kvs(j, "ipv4", e->ipv4);
        hl_json_comma(j);
        hl_json_kvs(j, "ipv6", e->ipv6);
        hl_json_comma(j);
        hl_json_kvs(j, "mac", e->mac);
        hl_json_comma(j);
        hl_json_key(j, "is_loopback");
        hl_json_num(j, e->is_loopback);
        hl_json_comma(j);
        hl_json_key(j, "is_up");
        hl_json_num(j, e->is_up);
        hl_json_raw(j, "}");
    }
    hl_json_raw(j, "]");
    hl_json_comma(j);
    hl_json_kvs(j, "local_ip", r->local_ip);
}

extern "C" const char *hostlens_network(void)
{
    hl_json_t *j = begin_module("network");
    hl_network_info_t r;
    hl_impl_network(&r);
    hl_write_network(j, &r);
    return end_module();
}
