/*
 * Document of the volumes module: one object per fixed volume.
 */
#include "hostlens_internal.h"

void hl_write_volumes(hl_json_t *j, const hl_volume_list_t *r)
{
    if (r->out_of_memory) {
        hl_json_fail(j);
        return;
    }
    for (int32_t i = 0; i < r->count; i++) {
        const hl_volume_info_t *v = &r->volumes[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "mount", v->mount);
        hl_json_comma(j);
        hl_json_key(j, "label");
        hl_json_str(j, v->label); /* "" for a volume without a label */
        hl_json_comma(j);
        hl_json_kvs(j, "filesystem", v->filesystem);
        hl_json_comma(j);
        hl_json_kvns(j, "total_bytes", v->total_bytes);
        hl_json_comma(j);
        hl_json_kvns(j, "free_bytes", v->free_bytes);
        hl_json_comma(j);
        hl_json_kvns(j, "available_bytes", v->available_bytes);
        hl_json_comma(j);
        /* The disk its first extent lies on: where the volume begins. */
        hl_json_kvns(j, "disk", v->disk_count > 0 ? (int64_t)r->disk_numbers[v->first_disk] : -1);
        hl_json_comma(j);
        hl_json_arr_open(j, "disks");
        for (int32_t k = 0; k < v->disk_count; k++) {
            if (k > 0)
                hl_json_comma(j);
            hl_json_num(j, r->disk_numbers[v->first_disk + k]);
        }
        hl_json_arr_close(j);
        hl_json_raw(j, "}");
    }
}
