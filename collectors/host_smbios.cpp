/*
 * The SMBIOS structure table: system, firmware, baseboard and chassis
 * fields (DMTF DSP0134). Every length in the table is firmware-supplied, so
 * each read is checked against the table's end.
 */
#include "hl_smbios.h"

#include <string.h>

/* String number `n` (1-based) of the string set at `set`, or NULL. */
static const char *string_at(const uint8_t *set, const uint8_t *end, unsigned n)
{
    const uint8_t *p = set;
    for (unsigned i = 1;; i++) {
        if (p >= end || *p == 0)
            return NULL; /* the set ended before string n */
        const uint8_t *nul = (const uint8_t *)memchr(p, 0, (size_t)(end - p));
        if (nul == NULL)
            return NULL; /* unterminated before the table's end */
        if (i == n)
            return (const char *)p;
        p = nul + 1;
    }
}

/* The string whose number is held at `offset` of the structure at `s` with
 * formatted length `len`. */
static void smbios_string(const uint8_t *s, uint8_t len, uint8_t offset, const uint8_t *end,
                          char *out, size_t size)
{
    const char *text = NULL;
    if (s[offset] != 0)
        text = string_at(s + len, end, s[offset]);
    hl_copy(out, size, text != NULL ? text : "unknown");
}

#define FIELD(f) out->f, sizeof out->f

static void take_fields(const uint8_t *s, uint8_t len, const uint8_t *end, hl_host_info_t *out)
{
    switch (s[0]) {
    case 0: /* BIOS Information */
        if (len > 0x04)
            smbios_string(s, len, 0x04, end, FIELD(bios_vendor));
        if (len > 0x05)
            smbios_string(s, len, 0x05, end, FIELD(bios_version));
        if (len > 0x08)
            smbios_string(s, len, 0x08, end, FIELD(bios_date));
        break;
    case 1: /* System Information; Family exists from SMBIOS 2.4 */
        if (len > 0x04)
            smbios_string(s, len, 0x04, end, FIELD(manufacturer));
        if (len > 0x05)
            smbios_string(s, len, 0x05, end, FIELD(model));
        if (len > 0x06)
            smbios_string(s, len, 0x06, end, FIELD(version));
        if (len > 0x1A)
            smbios_string(s, len, 0x1A, end, FIELD(family));
        break;
    case 2: /* Baseboard Information */
        if (len > 0x04)
            smbios_string(s, len, 0x04, end, FIELD(board_vendor));
        if (len > 0x05)
            smbios_string(s, len, 0x05, end, FIELD(board_model));
        break;
    case 3: /* System Enclosure; bit 7 of the type is the lock flag */
        if (len > 0x05)
            hl_format(FIELD(chassis_type), "%u", (unsigned)s[0x05]);
        break;
    default:
        break;
    }
}

int hl_impl_host_walk(const uint8_t *data, size_t size, hl_host_info_t *out)
{
    if (data == NULL || size < 8)
        return 0;
    uint32_t table = (uint32_t)data[4] | (uint32_t)data[5] << 8 | (uint32_t)data[6] << 16 |
                     (uint32_t)data[7] << 24;
    if (table > size - 8)
        return 0;
    const uint8_t *s = data + 8;
    const uint8_t *end = s + table;
    while (end - s >= 4) {
        uint8_t len = s[1];
        if (len < 4 || len > end - s)
            break;
        take_fields(s, len, end, out);
        /* The string set ends with a double NUL, both bytes inside the table. */
        const uint8_t *p = s + len;
        while (end - p >= 2 && !(p[0] == 0 && p[1] == 0))
            p++;
        if (end - p < 2)
            break;
        s = p + 2;
    }
    return 1;
}
