/*
 * Members of the hypervisor module, reached by name through hostlens_collect.
 */
#include "hostlens_internal.h"

void hl_write_hypervisor(hl_json_t *j, const hl_hypervisor_info_t *r)
{
    hl_json_kvns(j, "present", r->present);
    hl_json_comma(j);
    hl_json_kvs(j, "vendor", r->vendor);
    hl_json_comma(j);
    hl_json_kvs(j, "name", r->name);
    hl_json_comma(j);
    hl_json_kvns(j, "guest", r->guest);
}
