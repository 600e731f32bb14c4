/*
 * Document of the battery list.
 */
#include "hostlens_internal.h"

void hl_write_battery(hl_json_t *j, const hl_battery_list_t *r)
{
    for (int32_t i = 0; i < r->count && i < HL_BATTERY_MAX; i++) {
        const hl_battery_info_t *b = &r->batteries[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "model", b->model);
        hl_json_comma(j);
        hl_json_kvns(j, "percent", b->percent);
        hl_json_comma(j);
        hl_json_kvns(j, "power_plugged", b->power_plugged);
        hl_json_comma(j);
        hl_json_kvs(j, "state", b->state);
        hl_json_comma(j);
        hl_json_kvns(j, "time_remaining_seconds", b->time_remaining_seconds);
        hl_json_raw(j, "}");
    }
}

extern "C" const char *hostlens_battery(void)
{
    hl_json_t *j = begin_module_arr("battery");
    hl_battery_list_t r;
    hl_impl_battery(&r);
    hl_write_battery(j, &r);
    return end_module_arr();
}
