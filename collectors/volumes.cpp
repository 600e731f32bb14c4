/*
 * Fixed volumes with a drive letter, as the disk module lists them, then
 * those mounted in folders only, with their space in bytes and the
 * physical disks under them.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_access.h"
#include "hl_disks.h"

static void read_space(hl_volume_info_t *v, const char16_t *root)
{
    uint64_t available = 0, total = 0, total_free = 0;
    v->total_bytes = v->free_bytes = v->available_bytes = -1;
    if (!hl_port_disk_space(root, &available, &total, &total_free))
        return;
    /* Beyond 2^63 - 1 bytes (8 EiB) no volume reaches: a wrong answer. */
    v->total_bytes = total <= INT64_MAX ? (int64_t)total : -1;
    v->free_bytes = total_free <= INT64_MAX ? (int64_t)total_free : -1;
    v->available_bytes = available <= INT64_MAX ? (int64_t)available : -1;
}

typedef struct volumes_walk_t {
    hl_volume_list_t *out;
    hl_u32_list_t disks;
} volumes_walk_t;

static int add_volume(void *ctx, const hl_fixed_volume_t *fixed)
{
    volumes_walk_t *w = (volumes_walk_t *)ctx;
    hl_volume_list_t *out = w->out;
    void *items = out->volumes;
    if (!hl_list_reserve(&items, &out->capacity, out->count + 1, sizeof(hl_volume_info_t)))
        return 0;
    out->volumes = (hl_volume_info_t *)items;
    hl_volume_info_t *v = &out->volumes[out->count++];
    memset(v, 0, sizeof *v);
    memcpy(v->mount, fixed->mount, sizeof v->mount);
    hl_volume_names(fixed->root, v->label, (int)sizeof v->label, v->filesystem,
                    (int)sizeof v->filesystem, 1);
    read_space(v, fixed->root);
    v->first_disk = w->disks.count;
    int n = hl_volume_disks(fixed->device, &w->disks);
    if (n < 0)
        return 0;
    v->disk_count = n;
    return 1;
}

void hl_impl_volumes(hl_volume_list_t *out)
{
    memset(out, 0, sizeof *out);
    volumes_walk_t w = {out, {NULL, 0, 0}};
    if (!hl_fixed_volumes(add_volume, &w, 1))
        out->out_of_memory = 1;
    out->disk_numbers = w.disks.items;
    out->disk_number_count = w.disks.count;
    out->disk_number_capacity = w.disks.capacity;
}

void hl_volumes_free(hl_volume_list_t *r)
{
    hl_port_free(r->volumes);
    hl_port_free(r->disk_numbers);
    r->volumes = NULL;
    r->disk_numbers = NULL;
    r->count = r->capacity = r->disk_number_count = r->disk_number_capacity = 0;
}
