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

/* The device the drive of `root` names ("\Device\HarddiskVolume3"), or a
 * SUBST drive's folder ("\??\C:\src"); "" when the platform names none
 * or the name does not fit `units` (the drive is then taken as a volume of
 * its own). */
static void drive_target(const char16_t *root, char16_t *target, uint32_t units)
{
    target[0] = 0;
    if (root[0] == 0 || root[1] != u':')
        return;
    char16_t drive[3] = {root[0], u':', 0};
    if (!hl_port_dos_device(drive, target, units))
        target[0] = 0;
    target[units - 1] = 0;
}

/* A SUBST drive (or any DefineDosDevice name for a folder) is a folder of
 * another volume, whose type GetDriveTypeW answers as that volume's:
 * listing it would count the volume beneath twice. */
static int is_substitute(const char16_t *target)
{
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

int hl_volume_disks(const char16_t *device, hl_u32_list_t *disks)
{
    hl_handle_t volume = NULL;
    if (hl_port_device_open(device, &volume) != 0)
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
        /* Still short: the extents changed between the two calls, and the
         * answer is not believed. */
        if (rc == ERROR_MORE_DATA_CODE)
            whole = 0;
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

/* ---- the walk ------------------------------------------------------------- */

/* A volume name is "\\?\Volume{" + 36 + "}\": 49 units. */
#define VOLUME_NAME_UNITS 64u
#define PATHS_LOCAL 1024u
#define PATHS_MAX 65536u

/* The device names kept to tell a second letter of a volume already
 * listed; a longer name (no volume's) is not compared. */
#define TARGET_UNITS 64u
#define TARGET_QUERY_UNITS 1024u
#define LETTERS 26

/* Whether a drive visited before names the same device: a second letter
 * for one volume (DefineDosDevice with its device as a raw target) would
 * count it twice, in a fleet's sums too. */
static int seen_before(char16_t (*seen)[TARGET_UNITS], int *count, const char16_t *target)
{
    size_t len = 0;
    while (target[len] != 0)
        len++;
    if (len == 0 || len >= TARGET_UNITS)
        return 0;
    for (int i = 0; i < *count; i++)
        if (hl_u16_same(seen[i], target))
            return 1;
    if (*count < LETTERS)
        memcpy(seen[(*count)++], target, (len + 1) * sizeof target[0]);
    return 0;
}

static int lettered_volumes(int (*visit)(void *, const hl_fixed_volume_t *), void *ctx)
{
    char16_t local[HL_ROOTS_LOCAL + 2], *heap;
    const char16_t *roots = hl_drive_roots(local, HL_ROOTS_LOCAL, &heap);
    if (roots == NULL)
        return 0;
    char16_t seen[LETTERS][TARGET_UNITS], target[TARGET_QUERY_UNITS];
    int seen_count = 0, ok = 1;
    for (const char16_t *root = roots; ok && root[0] != 0;) {
        size_t len = 0;
        while (root[len] != 0)
            len++;
        int take = hl_port_drive_type(root) == HL_DRIVE_FIXED;
        if (take) {
            drive_target(root, target, TARGET_QUERY_UNITS);
            take = !is_substitute(target) && !seen_before(seen, &seen_count, target);
        }
        if (take) {
            /* \\.\C: names the volume itself; its root "C:\" the file
             * system on it. */
            char16_t device[24] = {u'\\', u'\\', u'.', u'\\'};
            size_t at = 4;
            for (size_t i = 0; root[i] != 0 && root[i] != u'\\' && at < 22; i++)
                device[at++] = root[i];
            device[at] = 0;
            hl_fixed_volume_t v;
            v.root = root;
            v.device = device;
            hl_root_text(root, v.mount, sizeof v.mount);
            ok = visit(ctx, &v);
        }
        root += len + 1;
    }
    hl_port_free(heap);
    return ok;
}

/* "D:\": a root the letter walk lists, the only backslash its last unit. */
static int is_drive_root(const char16_t *p)
{
    size_t n = 0;
    while (p[n] != 0 && p[n] != u'\\')
        n++;
    return n >= 2 && p[n - 1] == u':' && p[n] == u'\\' && p[n + 1] == 0;
}

/* A volume mounted in folders and under no letter: visited at its first
 * folder. 0 only when memory ran out or visit said so. */
static int folder_volume(const char16_t *name, int (*visit)(void *, const hl_fixed_volume_t *),
                         void *ctx)
{
    char16_t local[PATHS_LOCAL + 2], *block = NULL;
    memset(local, 0, sizeof local);
    char16_t *paths = local;
    uint32_t needed = 0;
    uint32_t rc = hl_port_volume_paths(name, local, PATHS_LOCAL, &needed);
    if (rc == ERROR_MORE_DATA_CODE && needed > PATHS_LOCAL && needed <= PATHS_MAX) {
        size_t bytes = ((size_t)needed + 2) * sizeof(char16_t);
        block = (char16_t *)hl_port_alloc(bytes);
        if (block == NULL)
            return 0;
        memset(block, 0, bytes);
        paths = block;
        rc = hl_port_volume_paths(name, block, needed, &needed);
    }
    const char16_t *folder = NULL;
    /* The two units past the buffer the platform had stay NUL: the list
     * ends there whatever it wrote. */
    for (const char16_t *p = paths; rc == 0 && p[0] != 0;) {
        if (is_drive_root(p)) {
            folder = NULL; /* listed by its letter */
            break;
        }
        if (folder == NULL)
            folder = p;
        while (p[0] != 0)
            p++;
        p++;
    }
    int ok = 1;
    if (folder != NULL && hl_port_drive_type(name) == HL_DRIVE_FIXED) {
        char16_t device[VOLUME_NAME_UNITS];
        size_t n = 0;
        while (name[n] != 0 && n + 1 < VOLUME_NAME_UNITS)
            n++;
        memcpy(device, name, n * sizeof(char16_t));
        /* Without its trailing backslash the name is the volume's device. */
        device[n > 0 && name[n - 1] == u'\\' ? n - 1 : n] = 0;
        hl_fixed_volume_t v;
        v.root = name;
        v.device = device;
        w2s(folder, v.mount, (int)sizeof v.mount);
        /* A folder too long for a mount is not cut short: the volume goes
         * by its name instead. */
        if (strcmp(v.mount, "unknown") == 0)
            w2s(name, v.mount, (int)sizeof v.mount);
        ok = visit(ctx, &v);
    }
    hl_port_free(block);
    return ok;
}

int hl_fixed_volumes(int (*visit)(void *ctx, const hl_fixed_volume_t *v), void *ctx, int folders)
{
    if (!lettered_volumes(visit, ctx))
        return 0;
    if (!folders)
        return 1;
    char16_t name[VOLUME_NAME_UNITS];
    memset(name, 0, sizeof name);
    hl_handle_t find = hl_port_volume_find_first(name, VOLUME_NAME_UNITS - 1);
    if (find == NULL)
        return 1;
    int ok = 1;
    do {
        name[VOLUME_NAME_UNITS - 1] = 0;
        ok = folder_volume(name, visit, ctx);
    } while (ok && hl_port_volume_find_next(find, name, VOLUME_NAME_UNITS - 1));
    hl_port_volume_find_close(find);
    return ok;
}
