/*
 * Document of the packages module.
 */
#include "hostlens_internal.h"

void hl_write_packages(hl_json_t *j, const hl_packages_info_t *r)
{
    hl_json_kvs(j, "managers", r->managers);
    hl_json_comma(j);
    hl_json_kvn(j, "total", r->total);
}

extern "C" const char *hostlens_packages(void)
{
    hl_json_t *j = begin_module("packages");
    hl_packages_info_t r;
    hl_impl_packages(&r);
    hl_write_packages(j, &r);
    return end_module();
}
