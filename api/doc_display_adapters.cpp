/*
 * Document of the display_adapters module: one object per present display
 * adapter. A module reached only by name
 * (hostlens_collect("display_adapters")).
 */
#include "hostlens_internal.h"

void hl_write_display_adapters(hl_json_t *j, const hl_display_adapter_list_t *r)
{
    if (r->failed) {
        hl_json_fail(j);
        return;
    }
    for (int32_t i = 0; i < r->count; i++) {
        const hl_display_adapter_t *a = &r->items[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "name", a->name);
        hl_json_comma(j);
        hl_json_kvs(j, "vendor", a->vendor);
        hl_json_comma(j);
        hl_json_kvns(j, "vram_mb", a->vram_mb);
        hl_json_comma(j);
        hl_json_kvs(j, "driver_version", a->driver_version);
        hl_json_comma(j);
        hl_json_kvs(j, "device", a->device);
        hl_json_raw(j, "}");
    }
}
