/*
 * Fixed volumes with a drive letter, as the disk module lists them, with
 * their space in bytes and the physical disks under them.
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

void hl_impl_volumes(hl_volume_list_t *out)
{
    memset(out, 0, sizeof *out);
    char16_t local[HL_ROOTS_LOCAL + 2], *heap;
    const char16_t *roots = hl_drive_roots(local, HL_ROOTS_LOCAL, &heap);
    if (roots == NULL) {
        out->out_of_memory = 1;
        return;
    }
    hl_u32_list_t disks = {NULL, 0, 0};
    for (const char16_t *root = roots; root[0] != 0;) {
        size_t len = 0;
        while (root[len] != 0)
            len++;
        if (hl_port_drive_type(root) == HL_DRIVE_FIXED && !hl_drive_is_substitute(root)) {
            void *items = out->volumes;
            if (!hl_list_reserve(&items, &out->capacity, out->count + 1,
                                 sizeof(hl_volume_info_t))) {
                out->out_of_memory = 1;
                break;
            }
            out->volumes = (hl_volume_info_t *)items;
            hl_volume_info_t *v = &out->volumes[out->count++];
            memset(v, 0, sizeof *v);
            hl_root_text(root, v->mount, sizeof v->mount);
            hl_volume_names(root, v->label, (int)sizeof v->label, v->filesystem,
                            (int)sizeof v->filesystem, 1);
            read_space(v, root);
            v->first_disk = disks.count;
            int n = hl_volume_disks(root, &disks);
            if (n < 0) {
                out->out_of_memory = 1;
                break;
            }
            v->disk_count = n;
        }
        root += len + 1;
    }
    out->disk_numbers = disks.items;
    out->disk_number_count = disks.count;
    out->disk_number_capacity = disks.capacity;
    hl_port_free(heap);
}

void hl_volumes_free(hl_volume_list_t *r)
{
    hl_port_free(r->volumes);
    hl_port_free(r->disk_numbers);
    r->volumes = NULL;
    r->disk_numbers = NULL;
    r->count = r->capacity = r->disk_number_count = r->disk_number_capacity = 0;
}
