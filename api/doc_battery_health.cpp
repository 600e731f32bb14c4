/*
 * Document of the battery_health module: one object per battery device. A
 * module reached only by name (hostlens_collect("battery_health")).
 */
#include "hostlens_internal.h"

void hl_write_battery_health(hl_json_t *j, const hl_battery_health_list_t *r)
{
    if (r->failed) {
        hl_json_fail(j);
        return;
    }
    for (int32_t i = 0; i < r->count; i++) {
        const hl_battery_health_t *b = &r->items[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "name", b->name);
        hl_json_comma(j);
        hl_json_kvs(j, "manufacturer", b->manufacturer);
        hl_json_comma(j);
        hl_json_kvs(j, "serial", b->serial);
        hl_json_comma(j);
        hl_json_kvs(j, "chemistry", b->chemistry);
        hl_json_comma(j);
        hl_json_kvns(j, "design_capacity_mwh", b->design_capacity_mwh);
        hl_json_comma(j);
        hl_json_kvns(j, "full_charge_capacity_mwh", b->full_charge_capacity_mwh);
        hl_json_comma(j);
        hl_json_kvd_unknown(j, "health_percent", b->health_percent);
        hl_json_comma(j);
        hl_json_kvns(j, "cycle_count", b->cycle_count);
        hl_json_comma(j);
        /* Signed: negative while the battery discharges. */
        if (b->rate_mw == HL_RATE_UNKNOWN)
            hl_json_kvs(j, "rate_mw", "unknown");
        else
            hl_json_kvn(j, "rate_mw", b->rate_mw);
        hl_json_comma(j);
        hl_json_kvns(j, "voltage_mv", b->voltage_mv);
        hl_json_comma(j);
        hl_json_kvd_unknown(j, "charge_percent", b->charge_percent);
        hl_json_comma(j);
        hl_json_kvs(j, "state", b->state[0] != '\0' ? b->state : "unknown");
        hl_json_raw(j, "}");
    }
}
