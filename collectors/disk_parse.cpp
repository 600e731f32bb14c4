/*
 * Readers of the storage control codes' answers. Each reads only inside the
 * bytes it is given, whatever the answer declares.
 */
#include <string.h>

#include "hl_disks.h"

static uint32_t u32_at(const uint8_t *d, size_t at)
{
    return (uint32_t)d[at] | (uint32_t)d[at + 1] << 8 | (uint32_t)d[at + 2] << 16 |
           (uint32_t)d[at + 3] << 24;
}

static int64_t i64_at(const uint8_t *d, size_t at)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--)
        v = v << 8 | d[at + (size_t)i];
    return (int64_t)v;
}

/* STORAGE_DEVICE_DESCRIPTOR up to and including RawPropertiesLength. */
#define DESCRIPTOR_FIXED 36u
#define DESCRIPTOR_BUS_END 32u

/* The text at `offset`, up to its NUL or the end of the answer, trimmed. */
static void descriptor_text(const uint8_t *d, size_t n, uint32_t offset, char *out, size_t size)
{
    out[0] = '\0';
    if (offset < DESCRIPTOR_FIXED || offset >= n)
        return;
    const char *text = (const char *)d + offset;
    size_t len = 0;
    while (offset + len < n && text[len] != '\0')
        len++;
    if (len > size - 1)
        len = hl_utf8_fit(text, size - 1);
    memcpy(out, text, len);
    out[len] = '\0';
    hl_trim(out);
}

int hl_parse_storage_device(const uint8_t *d, size_t n, hl_storage_device_t *out,
                            uint32_t *declared)
{
    memset(out, 0, sizeof *out);
    *declared = n >= 8 ? u32_at(d, 4) : 0;
    if (n < DESCRIPTOR_BUS_END)
        return 0;
    descriptor_text(d, n, u32_at(d, 12), out->vendor, sizeof out->vendor);
    descriptor_text(d, n, u32_at(d, 16), out->product, sizeof out->product);
    descriptor_text(d, n, u32_at(d, 24), out->serial, sizeof out->serial);
    out->bus_type = u32_at(d, 28);
    return 1;
}

int hl_parse_seek_penalty(const uint8_t *d, size_t n, int *incurs)
{
    if (n < 9)
        return 0;
    *incurs = d[8] != 0 ? 1 : 0;
    return 1;
}

int hl_parse_geometry_size(const uint8_t *d, size_t n, int64_t *size)
{
    if (n < 32)
        return 0;
    int64_t v = i64_at(d, 24);
    if (v < 0)
        return 0;
    *size = v;
    return 1;
}

#define PERFORMANCE_COUNTERS_END 56u

int hl_parse_disk_performance(const uint8_t *d, size_t n, hl_disk_counters_t *out)
{
    int64_t *all[] = {&out->read_bytes, &out->write_bytes, &out->read_time,
                      &out->write_time, &out->idle_time,   &out->reads,
                      &out->writes,     &out->queue_depth, &out->split_ios};
    for (int64_t *v : all)
        *v = -1;
    if (n < PERFORMANCE_COUNTERS_END)
        return 0;
    for (int i = 0; i < 5; i++) {
        int64_t v = i64_at(d, (size_t)i * 8);
        *all[i] = v >= 0 ? v : -1;
    }
    for (int i = 0; i < 4; i++)
        *all[5 + i] = (int64_t)u32_at(d, 40 + (size_t)i * 4);
    return 1;
}

uint32_t hl_parse_extents(const uint8_t *d, size_t n, uint32_t *declared)
{
    *declared = n >= 4 ? u32_at(d, 0) : 0;
    if (n < HL_EXTENTS_HEADER)
        return 0;
    size_t whole = (n - HL_EXTENTS_HEADER) / HL_EXTENT_SIZE;
    return whole < *declared ? (uint32_t)whole : *declared;
}

uint32_t hl_extent_disk(const uint8_t *d, uint32_t i)
{
    return u32_at(d, HL_EXTENTS_HEADER + (size_t)i * HL_EXTENT_SIZE);
}

const char *hl_bus_word(uint32_t bus_type)
{
    /* STORAGE_BUS_TYPE, from BusTypeScsi (1) to BusTypeNvmeof (20). */
    static const char *const words[] = {
        "unknown", "scsi",  "atapi", "ata",  "1394",  "ssa", "fibre",   "usb",
        "raid",    "iscsi", "sas",   "sata", "sd",    "mmc", "virtual", "file_backed_virtual",
        "spaces",  "nvme",  "scm",   "ufs",  "nvmeof"};
    return bus_type < sizeof words / sizeof words[0] ? words[bus_type] : "unknown";
}
