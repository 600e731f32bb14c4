/*
 * Physical disks and the volumes on them: the readers of the answers of the
 * storage control codes, over the bytes the platform returned, and the walk
 * over the fixed volumes that the disk_io and volumes collectors share.
 *
 * Every layout below is the x64 one, little-endian, as winioctl.h and
 * ntddstor.h define it.
 */
#ifndef HL_DISKS_H
#define HL_DISKS_H

#include <stddef.h>
#include <stdint.h>

#include "hl_port.h"
#include "hostlens_internal.h"

/* STORAGE_PROPERTY_QUERY.PropertyId values, asked with PropertyStandardQuery. */
#define HL_STORAGE_DEVICE_PROPERTY 0u
#define HL_STORAGE_SEEK_PENALTY_PROPERTY 7u

/* What STORAGE_DEVICE_DESCRIPTOR says: its texts (trimmed; "" when absent)
 * and BusType. */
typedef struct hl_storage_device_t {
    char vendor[64];
    char product[128];
    char serial[128];
    uint32_t bus_type;
} hl_storage_device_t;

/* STORAGE_DEVICE_DESCRIPTOR: Version and Size, then at 12, 16 and 24 the
 * offsets of the vendor, product and serial texts within the descriptor
 * (0 when there is none), and BusType at 28; the texts are NUL-terminated
 * ASCII somewhere after the fixed part. 1 when the descriptor reaches
 * BusType; a text whose offset points outside d[0..n) or into the fixed part
 * is absent, and one without its NUL ends with the bytes. *declared gets
 * the descriptor's own Size (the bytes it needs). */
int hl_parse_storage_device(const uint8_t *d, size_t n, hl_storage_device_t *out,
                            uint32_t *declared);
/* DEVICE_SEEK_PENALTY_DESCRIPTOR: IncursSeekPenalty is the byte at 8. 1 with
 * *incurs 0 or 1, 0 when the answer is too short. */
int hl_parse_seek_penalty(const uint8_t *d, size_t n, int *incurs);
/* DISK_GEOMETRY_EX: DiskSize is the 64-bit number at 24. 1 with the size,
 * 0 when the answer is too short or the size negative. */
int hl_parse_geometry_size(const uint8_t *d, size_t n, int64_t *size);

/* DISK_PERFORMANCE: BytesRead, BytesWritten, ReadTime, WriteTime, IdleTime
 * (64-bit, at 0 to 32), then ReadCount, WriteCount, QueueDepth, SplitCount
 * (32-bit, at 40 to 52). Times in 100 ns. */
typedef struct hl_disk_counters_t {
    int64_t read_bytes, write_bytes;
    int64_t read_time, write_time, idle_time;
    int64_t reads, writes, queue_depth, split_ios;
} hl_disk_counters_t;
/* 1 when the answer holds every counter, each then set (a negative 64-bit
 * counter, which no disk has, is -1: unknown); 0, with all -1, otherwise. */
int hl_parse_disk_performance(const uint8_t *d, size_t n, hl_disk_counters_t *out);

/* VOLUME_DISK_EXTENTS: NumberOfDiskExtents, then from 8 DISK_EXTENT records
 * of 24 bytes whose DiskNumber comes first. The number of extents the
 * answer holds whole (at most the declared number); *declared gets the
 * declared number (0 when the answer is too short to hold it). */
#define HL_EXTENTS_HEADER 8u
#define HL_EXTENT_SIZE 24u
uint32_t hl_parse_extents(const uint8_t *d, size_t n, uint32_t *declared);
/* The disk number of extent i of an answer hl_parse_extents accepted. */
uint32_t hl_extent_disk(const uint8_t *d, uint32_t i);

/* The word for a STORAGE_BUS_TYPE ("sata", "nvme", ...), "unknown" for
 * BusTypeUnknown and for numbers it does not know. */
const char *hl_bus_word(uint32_t bus_type);

/* ---- the fixed volumes ---------------------------------------------------- */

/* The drive roots ("C:\", ...) the platform lists, each NUL-terminated, the
 * list ended by an empty one: in `local` (of local_units + 2 units) when
 * they fit, else in a heap block left in *heap for the caller to free.
 * NULL when no block could be had; an empty list when the platform lists
 * nothing. */
#define HL_ROOTS_LOCAL 512u
const char16_t *hl_drive_roots(char16_t *local, uint32_t local_units, char16_t **heap);
/* DRIVE_FIXED, the type the disk module lists and the volume walk takes. */
#define HL_DRIVE_FIXED 3u
/* The volume's label and file system as UTF-8, each "unknown" when the
 * platform gives none; an empty label of a volume that answered is ""
 * where empty_label_is_text is set. */
void hl_volume_names(const char16_t *root, char *label, int label_size, char *fs, int fs_size,
                     int empty_label_is_text);
/* The root as the disk module writes it, and as a mount. */
void hl_root_text(const char16_t *root, char *out, size_t size);

/* A growable list of disk numbers. */
typedef struct hl_u32_list_t {
    uint32_t *items;
    int32_t count;
    int32_t capacity;
} hl_u32_list_t;
/* Appends to *disks the disk numbers the extents of a volume name (its
 * `device`, \\.\C: or \\?\Volume{GUID}, opened with no access rights),
 * each once, in extent order. The count appended (0 when the platform says
 * nothing), or -1 when no memory could be had. */
int hl_volume_disks(const char16_t *device, hl_u32_list_t *disks);

/* One fixed volume of the walk: the path its queries take (its drive root,
 * or for a volume mounted in a folder only its volume name
 * "\\?\Volume{GUID}\"), the device its extents are asked of, and its
 * mount as the documents write it. */
typedef struct hl_fixed_volume_t {
    const char16_t *root;
    const char16_t *device;
    char mount[HL_MOUNT_SIZE];
} hl_fixed_volume_t;
/* Calls visit for each fixed volume: those with a drive letter in the
 * platform's order, less SUBST drives, then those mounted in folders only,
 * each at its first folder (a data volume of a server, often). A volume
 * mounted nowhere (a recovery or system partition) is left out; without
 * `folders`, only the lettered ones. 1, or 0 when memory ran out or visit
 * returned 0. */
int hl_fixed_volumes(int (*visit)(void *ctx, const hl_fixed_volume_t *v), void *ctx, int folders);

#endif
