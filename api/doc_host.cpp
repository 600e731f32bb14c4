/*
 * Document of the host module.
 */
#include "hostlens_internal.h"

void hl_write_host(hl_json_t *j, const hl_host_info_t *r)
{
    hl_json_kvs(j, "manufacturer", r->manufacturer);
    hl_json_comma(j);
    hl_json_kvs(j, "model", r->model);
    hl_json_comma(j);
    hl_json_kvs(j, "version", r->version);
    hl_json_comma(j);
    hl_json_kvs(j, "sku", r->sku);
    hl_json_comma(j);
    hl_json_kvs(j, "family", r->family);
    hl_json_comma(j);
    hl_json_kvs(j, "chassis_type", r->chassis_type);
    hl_json_comma(j);
    hl_json_kvs(j, "bios_vendor", r->bios_vendor);
    hl_json_comma(j);
    hl_json_kvs(j, "bios_version", r->bios_version);
    hl_json_comma(j);
    hl_json_kvs(j, "bios_date", r->bios_date);
    hl_json_comma(j);
    hl_json_kvs(j, "board_vendor", r->board_vendor);
    hl_json_comma(j);
    hl_json_kvs(j, "board_model", r->board_model);
}

extern "C" const char *hostlens_host(void)
{
    hl_json_t *j = begin_module("host");
    hl_host_info_t r;
    hl_impl_host(&r);
    hl_write_host(j, &r);
    return end_module();
}
