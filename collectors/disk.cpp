/*
 * Fixed volumes with a drive letter: label, file system, size and use.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_access.h"
#include "hl_disks.h"
#include "hl_port.h"

#define DRIVE_FIXED_TYPE 3u
#define DRIVE_LIST_UNITS 512u

static void read_space(hl_disk_info_t *d, const char16_t *root)
{
    uint64_t available = 0, total = 0, total_free = 0;
    if (!hl_port_disk_space(root, &available, &total, &total_free)) {
        d->size_gb = 0.0;
        d->used_gb = 0.0;
        d->percent = -1.0;
        return;
    }
    double t = (double)total, used = (double)total - (double)total_free;
    d->size_gb = t / 1073741824.0;
    d->used_gb = used / 1073741824.0;
    d->percent = total != 0 ? used * 100.0 / t : 0.0;
}

static void read_volume(hl_disk_info_t *d, const char16_t *root)
{
    hl_volume_names(root, d->label, (int)sizeof d->label, d->filesystem, (int)sizeof d->filesystem,
                    0);
    read_space(d, root);

    char text[128];
    w2s(root, text, 8);
    hl_copy(d->device, sizeof d->device, text);
    hl_copy(d->mount_point, sizeof d->mount_point, text);
}

void hl_impl_disk(hl_disk_list_t *out)
{
    memset(out, 0, sizeof *out);
    /* One unit more than the platform is told, so the list is terminated
     * whatever it wrote. */
    char16_t roots[DRIVE_LIST_UNITS + 2];
    memset(roots, 0, sizeof roots);
    hl_port_logical_drives(roots, DRIVE_LIST_UNITS);

    size_t at = 0;
    while (at < DRIVE_LIST_UNITS && roots[at] != 0 && out->count < HL_DISK_MAX) {
        const char16_t *root = roots + at;
        size_t len = 0;
        while (root[len] != 0)
            len++;
        if (hl_port_drive_type(root) == DRIVE_FIXED_TYPE)
            read_volume(&out->disks[out->count++], root);
        at += len + 1;
    }
}
