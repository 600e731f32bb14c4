/*
 * The fixed volumes and the disks under them, as the disk_io and volumes
 * collectors both need them.
 */
#include <string.h>

#include "hl_access.h"
#include "hl_disks.h"

#define ERROR_MORE_DATA_CODE 234u
/* A volume spans at most a few dozen disks; an answer declaring more
 * extents than this is not believed, and no block is sized after it. */
#define EXTENTS_MAX 65536u
#define EXTENTS_LOCAL 8u
/* Nor a drive list longer than this (26 letters take 105 units). */
#define ROOTS_MAX 65536u

const char16_t *hl_drive_roots(char16_t *local, uint32_t local_units, char16_t **heap)
{
    *heap = NULL;
    memset(local, 0, (local_units + 2) * sizeof(char16_t));
    uint32_t n = hl_port_logical_drives(local, local_units);
    if (n < local_units) {
        local[n] = 0;
        local[n + 1] = 0;
        return local;
    }
    /* Letters give at most 26 roots of 4 units, but the answer is the
     * platform's: a list that outgrows the buffer gets a block of the size
     * it asked for, and another if it grew again meanwhile. */
    memset(local, 0, (local_units + 2) * sizeof(char16_t));
    for (int tries = 0; tries < 4 && n <= ROOTS_MAX; tries++) {
        uint32_t need = n;
        char16_t *block = (char16_t *)hl_port_alloc(((size_t)need + 2) * sizeof(char16_t));
        if (block == NULL)
            return NULL;
        memset(block, 0, ((size_t)need + 2) * sizeof(char16_t));
        n = hl_port_logical_drives(block, need);
        if (n < need) {
            block[n] = 0;
            block[n + 1] = 0;
            *heap = block;
            return block;
        }
        hl_port_free(block);
    }
    return local;
}

void hl_volume_names(const char16_t *root, char *label, int label_size, char *fs, int fs_size,
                     int empty_label_is_text)
{
    char16_t label16[256], fs16[64];
    memset(label16, 0, sizeof label16);
    memset(fs16, 0, sizeof fs16);
    /* A failed call leaves both names empty; the last unit stays a
     * terminator whatever the platform wrote. */
    int ok = hl_port_volume_info(root, label16, 256, fs16, 64);
    label16[255] = 0;
    fs16[63] = 0;
    w2s(label16, label, label_size);
    w2s(fs16, fs, fs_size);
    /* A volume without a label is common (C: usually has none: "Local
     * Disk" is only Explorer's name for it), and not the same as a label
     * that could not be read. */
    if (ok && label16[0] == 0 && empty_label_is_text && label_size > 0)
        label[0] = '\0';
}

int hl_drive_is_substitute(const char16_t *root)
{
    if (root[0] == 0 || root[1] != u':')
        return 0;
    char16_t drive[3] = {root[0], u':', 0};
    char16_t target[1024];
    /* A target too long for the buffer fails the call: the drive is then
     * taken as a volume of its own, as before this check. */
    if (!hl_port_dos_device(drive, target, 1024))
        return 0;
    target[1023] = 0;
    return target[0] == u'\\' && target[1] == u'?' && target[2] == u'?' && target[3] == u'\\';
}

void hl_root_text(const char16_t *root, char *out, size_t size)
{
    char text[16];
    w2s(root, text, (int)sizeof text);
    hl_copy(out, size, text);
}

static int append_disk(hl_u32_list_t *disks, int32_t first, uint32_t disk)
{
    for (int32_t i = first; i < disks->count; i++)
        if (disks->items[i] == disk)
            return 1;
    void *items = disks->items;
    if (!hl_list_reserve(&items, &disks->capacity, disks->count + 1, sizeof(uint32_t)))
        return 0;
    disks->items = (uint32_t *)items;
    disks->items[disks->count++] = disk;
    return 1;
}

int hl_volume_disks(const char16_t *root, hl_u32_list_t *disks)
{
    /* \\.\C: names the volume itself; its root "C:\" the file system on it. */
    char16_t path[24] = {u'\\', u'\\', u'.', u'\\'};
    size_t at = 4;
    for (size_t i = 0; root[i] != 0 && root[i] != u'\\' && at < 22; i++)
        path[at++] = root[i];
    path[at] = 0;
    hl_handle_t volume = NULL;
    if (hl_port_device_open(path, &volume) != 0)
        return 0;

    uint64_t local[(HL_EXTENTS_HEADER + EXTENTS_LOCAL * HL_EXTENT_SIZE) / 8];
    uint8_t *answer = (uint8_t *)local, *block = NULL;
    uint32_t got = 0, declared = 0;
    uint32_t rc = hl_port_device_ioctl(volume, HL_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, NULL, 0,
                                       answer, (uint32_t)sizeof local, &got);
    uint32_t whole = hl_parse_extents(answer, got < sizeof local ? got : sizeof local, &declared);
    /* More extents than the buffer holds: the call fails with
     * ERROR_MORE_DATA and fills in how many there are. */
    if (rc == ERROR_MORE_DATA_CODE && declared > whole && declared <= EXTENTS_MAX) {
        uint32_t size = HL_EXTENTS_HEADER + declared * HL_EXTENT_SIZE;
        block = (uint8_t *)hl_port_alloc(size);
        if (block == NULL) {
            hl_port_device_close(volume);
            return -1;
        }
        answer = block;
        got = 0;
        rc = hl_port_device_ioctl(volume, HL_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, NULL, 0, answer,
                                  size, &got);
        whole = hl_parse_extents(answer, got < size ? got : size, &declared);
    }
    hl_port_device_close(volume);
    if (rc != 0 && rc != ERROR_MORE_DATA_CODE)
        whole = 0;

    int32_t first = disks->count;
    int ok = 1;
    for (uint32_t i = 0; i < whole && ok; i++)
        ok = append_disk(disks, first, hl_extent_disk(answer, i));
    hl_port_free(block);
    return ok ? (int)(disks->count - first) : -1;
}
