/*
 * Document of the disk module: one object per fixed volume.
 */
#include "hostlens_internal.h"

void hl_write_disk(hl_json_t *j, const hl_disk_list_t *r)
{
    for (int32_t i = 0; i < r->count && i < HL_DISK_MAX; i++) {
        const hl_disk_info_t *d = &r->disks[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "device", d->device);
        hl_json_comma(j);
        hl_json_kvs(j, "mount_point", d->mount_point);
        hl_json_comma(j);
        hl_json_kvs(j, "label", d->label);
        hl_json_comma(j);
        hl_json_kvs(j, "filesystem", d->filesystem);
        hl_json_comma(j);
        hl_json_key(j, "size_gb");
        hl_json_dbl(j, d->size_gb);
        hl_json_comma(j);
        hl_json_key(j, "used_gb");
        hl_json_dbl(j, d->used_gb);
        hl_json_comma(j);
        hl_json_kvd_unknown(j, "percent", d->percent);
        hl_json_raw(j, "}");
    }
}

extern "C" const char *hostlens_disk(void)
{
    hl_json_t *j = begin_module_arr("disk");
    hl_disk_list_t r;
    hl_impl_disk(&r);
    hl_write_disk(j, &r);
    return end_module_arr();
}
