/*
 * Document of the public IP module: the one document that shows its
 * collector's message, as "error".
 */
#include "hostlens_internal.h"

void hl_write_public_ip(hl_json_t *j, const hl_public_ip_info_t *r)
{
    hl_json_kvs(j, "ip", r->ip);
    hl_json_comma(j);
    hl_json_kvs(j, "country", r->country);
    hl_json_comma(j);
    hl_json_kvs(j, "city", r->city);
}

extern "C" const char *hostlens_public_ip(void)
{
    hl_json_t *j = begin_module("public_ip");
    hl_public_ip_info_t r;
    hl_impl_public_ip(&r);
    hl_write_public_ip(j, &r);
    const char *error = hl_get_error();
    if (error[0] != '\0') {
        hl_json_comma(j);
        hl_json_kvs(j, "error", error);
    }
    return end_module();
}
