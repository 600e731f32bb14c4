/*
 * Document of the CPU module.
 */
#include "hostlens_internal.h"

void hl_write_cpu_info(hl_json_t *j, const hl_cpu_info_t *r)
{
    hl_json_kvs(j, "model", r->model);
    hl_json_comma(j);
    hl_json_kvs(j, "physical_id", r->physical_id);
    hl_json_comma(j);
    hl_json_kvns(j, "family", r->family);
    hl_json_comma(j);
    hl_json_kvns(j, "model_number", r->model_number);
    hl_json_comma(j);
    hl_json_kvns(j, "stepping", r->stepping);
    hl_json_comma(j);
    hl_json_kvns(j, "flags_count", r->flags_count);
    hl_json_comma(j);
    hl_json_kvns(j, "sockets", r->sockets);
    hl_json_comma(j);
    hl_json_kvns(j, "physical_cores", r->physical_cores);
    hl_json_comma(j);
    hl_json_kvns(j, "logical_cores", r->logical_cores);
    hl_json_comma(j);
    hl_json_kvns(j, "speed_min_mhz", r->speed_min_mhz);
    hl_json_comma(j);
    hl_json_kvns(j, "speed_max_mhz", r->speed_max_mhz);
    hl_json_comma(j);
    hl_json_kvd_unknown(j, "speed_avg_mhz", r->speed_avg_mhz);
}

void hl_write_cpu(hl_json_t *j, const hl_cpu_info_t *r)
{
    hl_write_cpu_info(j, r);
    hl_json_comma(j);
    hl_json_kvd_unknown(j, "usage_percent", r->usage_percent);
    hl_json_comma(j);
    hl_json_key(j, "per_core_percent");
    hl_json_raw(j, "[");
    for (int32_t i = 0; i < r->per_core_count && i < HL_CPU_MAX_COUNTERS; i++) {
        if (i > 0)
            hl_json_comma(j);
        hl_json_dbl(j, r->per_core_percent[i]);
    }
    hl_json_arr_close(j);
}

extern "C" const char *hostlens_cpu(void)
{
    hl_json_t *j = begin_module("cpu");
    hl_cpu_info_t r;
    hl_impl_cpu(&r);
    hl_write_cpu(j, &r);
    return end_module();
}
