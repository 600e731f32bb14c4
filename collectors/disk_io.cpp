/*
 * Physical disks: what each is (the storage property queries and its
 * geometry), its cumulative I/O counters, and the fixed volumes on it.
 * Every disk is opened with no access rights, which these queries allow
 * without an administrator.
 */
#include "hostlens_internal.h"

#include <stdlib.h>
#include <string.h>

#include "hl_disks.h"

/* Disk numbers are handed out lowest free first, so a gap is a disk taken
 * away while the machine ran; the numbers the volumes' extents name are
 * known to exist. Probing goes on past the highest of those until this many
 * numbers in a row fail to open: gaps this long take many removals, and
 * each probe of a number that does not exist costs one failed open. (The
 * device interfaces of the disk class would list them exactly, but only
 * through SetupAPI, a DLL of its own.) */
#define PROBE_RUN 8
/* A descriptor beyond this is not believed, and no block is sized after it. */
#define DESCRIPTOR_MAX 65536u
#define DESCRIPTOR_LOCAL 1024u

static void set_unknown(hl_physical_disk_t *d, uint32_t number)
{
    memset(d, 0, sizeof *d);
    d->disk = number;
    hl_copy(d->model, sizeof d->model, "unknown");
    hl_copy(d->serial, sizeof d->serial, "unknown");
    hl_copy(d->bus, sizeof d->bus, "unknown");
    hl_copy(d->media, sizeof d->media, "unknown");
    int64_t *numbers[] = {&d->size_bytes,  &d->reads,     &d->writes,     &d->read_bytes,
                          &d->write_bytes, &d->read_time, &d->write_time, &d->idle_time,
                          &d->queue_depth, &d->split_ios};
    for (int64_t *n : numbers)
        *n = -1;
}

static uint32_t query_property(hl_handle_t h, uint32_t property, void *out, uint32_t size,
                               uint32_t *got)
{
    /* STORAGE_PROPERTY_QUERY: PropertyId, QueryType (PropertyStandardQuery),
     * AdditionalParameters. */
    const uint32_t query[3] = {property, 0, 0};
    *got = 0;
    uint32_t rc = hl_port_device_ioctl(h, HL_IOCTL_STORAGE_QUERY_PROPERTY, query, sizeof query, out,
                                       size, got);
    if (*got > size)
        *got = size;
    return rc;
}

static void set_model(hl_physical_disk_t *d, const hl_storage_device_t *s)
{
    /* "ATA" is the vendor that SCSI-to-ATA translation writes for every ATA
     * disk, not a maker. */
    const char *vendor = strcmp(s->vendor, "ATA") == 0 ? "" : s->vendor;
    if (vendor[0] != '\0' && s->product[0] != '\0')
        hl_format(d->model, sizeof d->model, "%s %s", vendor, s->product);
    else if (vendor[0] != '\0' || s->product[0] != '\0')
        hl_copy(d->model, sizeof d->model, vendor[0] != '\0' ? vendor : s->product);
}

/* 0 when memory ran out. */
static int read_identity(hl_handle_t h, hl_physical_disk_t *d)
{
    uint64_t local[DESCRIPTOR_LOCAL / 8];
    uint8_t *answer = (uint8_t *)local, *block = NULL;
    uint32_t got, declared = 0;
    hl_storage_device_t s;
    if (query_property(h, HL_STORAGE_DEVICE_PROPERTY, answer, DESCRIPTOR_LOCAL, &got) != 0)
        return 1;
    int ok = hl_parse_storage_device(answer, got, &s, &declared);
    /* A buffer too small for the whole descriptor gets its first bytes,
     * and Size says how many it needs. */
    if (declared > got && declared > DESCRIPTOR_LOCAL && declared <= DESCRIPTOR_MAX) {
        block = (uint8_t *)hl_port_alloc(declared);
        if (block == NULL)
            return 0;
        if (query_property(h, HL_STORAGE_DEVICE_PROPERTY, block, declared, &got) == 0)
            ok = hl_parse_storage_device(block, got, &s, &declared);
    }
    hl_port_free(block);
    if (!ok)
        return 1;
    set_model(d, &s);
    if (s.serial[0] != '\0')
        hl_copy(d->serial, sizeof d->serial, s.serial);
    hl_copy(d->bus, sizeof d->bus, hl_bus_word(s.bus_type));
    return 1;
}

static void read_media(hl_handle_t h, hl_physical_disk_t *d)
{
    uint64_t answer[2];
    uint32_t got;
    int incurs;
    if (query_property(h, HL_STORAGE_SEEK_PENALTY_PROPERTY, answer, sizeof answer, &got) == 0 &&
        hl_parse_seek_penalty((const uint8_t *)answer, got, &incurs))
        hl_copy(d->media, sizeof d->media, incurs ? "hdd" : "ssd");
}

static void read_size(hl_handle_t h, hl_physical_disk_t *d)
{
    /* The geometry, the size, then partition and detection data as room
     * allows. */
    uint64_t answer[32];
    uint32_t got = 0;
    if (hl_port_device_ioctl(h, HL_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, NULL, 0, answer, sizeof answer,
                             &got) == 0)
        hl_parse_geometry_size((const uint8_t *)answer, got < sizeof answer ? got : sizeof answer,
                               &d->size_bytes);
}

static void read_counters(hl_handle_t h, hl_physical_disk_t *d)
{
    uint64_t answer[16];
    uint32_t got = 0;
    hl_disk_counters_t c;
    if (hl_port_device_ioctl(h, HL_IOCTL_DISK_PERFORMANCE, NULL, 0, answer, sizeof answer, &got) !=
            0 ||
        !hl_parse_disk_performance((const uint8_t *)answer,
                                   got < sizeof answer ? got : sizeof answer, &c))
        return; /* refused: every counter stays unknown */
    d->read_bytes = c.read_bytes;
    d->write_bytes = c.write_bytes;
    d->read_time = c.read_time;
    d->write_time = c.write_time;
    d->idle_time = c.idle_time;
    d->reads = c.reads;
    d->writes = c.writes;
    d->queue_depth = c.queue_depth;
    d->split_ios = c.split_ios;
}

typedef struct mounts_walk_t {
    hl_disk_io_list_t *out;
    hl_u32_list_t disks;
    int32_t order;
} mounts_walk_t;

static int add_mounts(void *ctx, const hl_fixed_volume_t *v)
{
    mounts_walk_t *w = (mounts_walk_t *)ctx;
    hl_disk_io_list_t *out = w->out;
    w->disks.count = 0;
    int n = hl_volume_disks(v->device, &w->disks);
    for (int i = 0; i < n; i++) {
        void *items = out->mounts;
        if (!hl_list_reserve(&items, &out->mount_capacity, out->mount_count + 1,
                             sizeof(hl_disk_mount_t)))
            return 0;
        out->mounts = (hl_disk_mount_t *)items;
        hl_disk_mount_t *m = &out->mounts[out->mount_count++];
        m->disk = w->disks.items[i];
        m->order = w->order;
        memcpy(m->mount, v->mount, sizeof m->mount);
    }
    w->order++;
    return n >= 0;
}

/* The fixed volumes and the disks under them, as (disk, volume) pairs.
 * Rates need no mounts, only the disk numbers the lettered volumes name for
 * the probe: a poll skips the search of every volume's mounts. */
static int map_volumes(hl_disk_io_list_t *out, int folders)
{
    mounts_walk_t w = {out, {NULL, 0, 0}, 0};
    int ok = hl_fixed_volumes(add_mounts, &w, folders);
    hl_port_free(w.disks.items);
    return ok;
}

static int by_disk_then_order(const void *a, const void *b)
{
    const hl_disk_mount_t *x = (const hl_disk_mount_t *)a, *y = (const hl_disk_mount_t *)b;
    if (x->disk != y->disk)
        return x->disk < y->disk ? -1 : 1;
    return x->order < y->order ? -1 : x->order > y->order ? 1 : 0;
}

static void drive_path(uint32_t number, char16_t *path)
{
    static const char prefix[] = "\\\\.\\PhysicalDrive";
    size_t at = 0;
    for (; prefix[at] != '\0'; at++)
        path[at] = (char16_t)prefix[at];
    char digits[12];
    size_t n = 0;
    do {
        digits[n++] = (char)('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (n > 0)
        path[at++] = (char16_t)digits[--n];
    path[at] = 0;
}

/* identity: also what each disk is (model, serial, bus, media, size), three
 * more queries per disk that rates do not need. */
static void collect_disks(hl_disk_io_list_t *out, int identity)
{
    memset(out, 0, sizeof *out);
    if (!map_volumes(out, identity)) {
        out->out_of_memory = 1;
        return;
    }
    if (out->mount_count > 1)
        qsort(out->mounts, (size_t)out->mount_count, sizeof *out->mounts, by_disk_then_order);

    int32_t next = 0; /* the first pair whose disk is not below n */
    int misses = 0;
    for (uint32_t n = 0;; n++) {
        while (next < out->mount_count && out->mounts[next].disk < n)
            next++;
        int named = next < out->mount_count && out->mounts[next].disk == n;
        if (!named && misses >= PROBE_RUN) {
            if (next == out->mount_count)
                break;
            /* A volume names a disk far beyond the last run of disks: go
             * straight to it. A volume driver may answer any number there,
             * and opening each one below it could take hours. */
            n = out->mounts[next].disk - 1;
            continue;
        }
        char16_t path[40];
        drive_path(n, path);
        hl_handle_t h = NULL;
        uint32_t rc = hl_port_device_open(path, &h);
        /* A disk that does not open is listed only when a volume lies on
         * it: then it exists, though nothing about it can be read. */
        if (rc != 0 && !named) {
            misses++;
        } else {
            misses = 0;
            void *items = out->disks;
            if (!hl_list_reserve(&items, &out->capacity, out->count + 1,
                                 sizeof(hl_physical_disk_t))) {
                if (rc == 0)
                    hl_port_device_close(h);
                out->out_of_memory = 1;
                return;
            }
            out->disks = (hl_physical_disk_t *)items;
            hl_physical_disk_t *d = &out->disks[out->count++];
            set_unknown(d, n);
            if (rc == 0) {
                int ok = 1;
                if (identity) {
                    ok = read_identity(h, d);
                    if (ok) {
                        read_media(h, d);
                        read_size(h, d);
                    }
                }
                if (ok)
                    read_counters(h, d);
                hl_port_device_close(h);
                if (!ok) {
                    out->out_of_memory = 1;
                    return;
                }
            }
        }
        if (n == UINT32_MAX)
            break;
    }
}

void hl_impl_disk_io(hl_disk_io_list_t *out)
{
    collect_disks(out, 1);
}

void hl_impl_disk_counters(hl_disk_io_list_t *out)
{
    collect_disks(out, 0);
}

void hl_disk_io_free(hl_disk_io_list_t *r)
{
    hl_port_free(r->disks);
    hl_port_free(r->mounts);
    r->disks = NULL;
    r->mounts = NULL;
    r->count = r->capacity = r->mount_count = r->mount_capacity = 0;
}
