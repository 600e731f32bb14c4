/*
 * Documents of the memory and swap modules.
 */
#include "hostlens_internal.h"

void hl_write_memory(hl_json_t *j, const hl_memory_info_t *r)
{
    hl_json_kvns(j, "used_mb", r->used_mb);
    hl_json_comma(j);
    hl_json_kvns(j, "total_mb", r->total_mb);
    hl_json_comma(j);
    hl_json_kvd_unknown(j, "percent", r->percent);
    hl_json_comma(j);
    hl_json_kvns(j, "available_mb", r->available_mb);
    hl_json_comma(j);
    hl_json_kvns(j, "virtual_used_mb", r->virtual_used_mb);
}

void hl_write_swap(hl_json_t *j, const hl_swap_info_t *r)
{
    hl_json_kvns(j, "used_mb", r->used_mb);
    hl_json_comma(j);
    hl_json_kvns(j, "total_mb", r->total_mb);
    hl_json_comma(j);
    hl_json_kvd_unknown(j, "percent", r->percent);
}

extern "C" const char *hostlens_memory(void)
{
    hl_json_t *j = begin_module("memory");
    hl_memory_info_t r;
    hl_impl_memory(&r);
    hl_write_memory(j, &r);
    return end_module();
}

extern "C" const char *hostlens_swap(void)
{
    hl_json_t *j = begin_module("swap");
    hl_swap_info_t r;
    hl_impl_swap(&r);
    hl_write_swap(j, &r);
    return end_module();
}
