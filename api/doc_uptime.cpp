/*
 * Documents of the uptime and boot-time modules, which share one collection.
 */
#include "hostlens_internal.h"

void hl_write_uptime(hl_json_t *j, const hl_uptime_info_t *r, hl_form_t form)
{
    hl_json_kvns(j, "total_seconds", r->total_seconds);
    hl_json_comma(j);
    hl_json_kvs(j, "formatted", r->formatted);
    hl_json_comma(j);
    hl_json_kvs(j, "boot_time_iso", r->boot_time_iso);
    if (form == HL_DOCUMENT) {
        hl_json_comma(j);
        hl_json_kvs(j, "last_boot", r->last_boot);
    }
}

void hl_write_boot_time(hl_json_t *j, const hl_uptime_info_t *r, hl_form_t form)
{
    hl_json_kvs(j, "iso", r->boot_time_iso);
    if (form == HL_DOCUMENT) {
        hl_json_comma(j);
        hl_json_kvs(j, "formatted", r->last_boot);
    }
}

extern "C" const char *hostlens_uptime(void)
{
    hl_json_t *j = begin_module("uptime");
    hl_uptime_info_t r;
    hl_impl_uptime(&r);
    hl_write_uptime(j, &r, HL_DOCUMENT);
    return end_module();
}

extern "C" const char *hostlens_boot_time(void)
{
    hl_json_t *j = begin_module("boot_time");
    hl_uptime_info_t r;
    hl_impl_uptime(&r);
    hl_write_boot_time(j, &r, HL_DOCUMENT);
    return end_module();
}
