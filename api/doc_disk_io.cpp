/*
 * Document of the disk_io module: one object per physical disk.
 */
#include "hostlens_internal.h"

/* Seconds from 100 ns units, exactly: whole seconds and seven decimals. */
static void write_seconds(hl_json_t *j, const char *key, int64_t ticks)
{
    hl_json_key(j, key);
    if (ticks < 0) {
        hl_json_str(j, "unknown");
        return;
    }
    hl_json_fixed(j, (uint64_t)ticks, 7);
}

void hl_write_disk_io(hl_json_t *j, const hl_disk_io_list_t *r)
{
    if (r->out_of_memory) {
        hl_json_fail(j);
        return;
    }
    int32_t m = 0; /* the pairs are in disk order, as the disks are */
    for (int32_t i = 0; i < r->count; i++) {
        const hl_physical_disk_t *d = &r->disks[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvn(j, "disk", d->disk);
        hl_json_comma(j);
        hl_json_kvs(j, "model", d->model);
        hl_json_comma(j);
        hl_json_kvs(j, "serial", d->serial);
        hl_json_comma(j);
        hl_json_kvs(j, "bus", d->bus);
        hl_json_comma(j);
        hl_json_kvs(j, "media", d->media);
        hl_json_comma(j);
        hl_json_kvns(j, "size_bytes", d->size_bytes);
        hl_json_comma(j);
        hl_json_arr_open(j, "volumes");
        while (m < r->mount_count && r->mounts[m].disk < d->disk)
            m++;
        for (int32_t k = 0; m < r->mount_count && r->mounts[m].disk == d->disk; m++, k++) {
            if (k > 0)
                hl_json_comma(j);
            hl_json_str(j, r->mounts[m].mount);
        }
        hl_json_arr_close(j);
        hl_json_comma(j);
        hl_json_kvns(j, "reads", d->reads);
        hl_json_comma(j);
        hl_json_kvns(j, "writes", d->writes);
        hl_json_comma(j);
        hl_json_kvns(j, "read_bytes", d->read_bytes);
        hl_json_comma(j);
        hl_json_kvns(j, "write_bytes", d->write_bytes);
        hl_json_comma(j);
        write_seconds(j, "read_s", d->read_time);
        hl_json_comma(j);
        write_seconds(j, "write_s", d->write_time);
        hl_json_comma(j);
        write_seconds(j, "idle_s", d->idle_time);
        hl_json_comma(j);
        hl_json_kvns(j, "queue_depth", d->queue_depth);
        hl_json_comma(j);
        hl_json_kvns(j, "split_ios", d->split_ios);
        hl_json_raw(j, "}");
    }
}
