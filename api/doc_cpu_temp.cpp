/*
 * Document of the CPU temperature module: always a number, -1.0 without a
 * reading.
 */
#include "hostlens_internal.h"

void hl_write_cpu_temp(hl_json_t *j, double celsius)
{
    hl_json_key(j, "celsius");
    hl_json_dbl(j, celsius);
}

extern "C" const char *hostlens_cpu_temp(void)
{
    hl_json_t *j = begin_module("cpu_temp");
    double celsius;
    hl_impl_cpu_temp(&celsius);
    hl_write_cpu_temp(j, celsius);
    return end_module();
}
