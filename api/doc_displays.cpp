/*
 * Document of the displays module: one object per active display. A
 * module reached only by name (hostlens_collect("displays")).
 */
#include "hostlens_internal.h"

/* Hundredths as a number with two decimals ("59.94"), or "unknown". */
static void write_centi(hl_json_t *j, const char *key, int64_t centi)
{
    hl_json_key(j, key);
    if (centi < 0)
        hl_json_str(j, "unknown");
    else
        hl_json_fixed(j, (uint64_t)centi, 2);
}

void hl_write_displays(hl_json_t *j, const hl_display_list_t *r)
{
    /* A list that could not hold every display fails the document rather
     * than leave one out. */
    if (r->failed) {
        hl_json_fail(j);
        return;
    }
    for (int32_t i = 0; i < r->count; i++) {
        const hl_display_info_t *d = &r->items[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "name", d->name);
        hl_json_comma(j);
        hl_json_kvns(j, "width", d->width);
        hl_json_comma(j);
        hl_json_kvns(j, "height", d->height);
        hl_json_comma(j);
        write_centi(j, "refresh_hz", d->refresh_centihz);
        hl_json_comma(j);
        hl_json_kvns(j, "rotation", d->rotation);
        hl_json_comma(j);
        hl_json_kvs(j, "connector", d->connector);
        hl_json_comma(j);
        hl_json_kvns(j, "primary", d->primary);
        hl_json_comma(j);
        hl_json_kvns(j, "scale_percent", d->scale_percent);
        hl_json_raw(j, "}");
    }
}
