/*
 * What the battery class driver answers, read from its bytes: a structure
 * may be shorter than asked for, its numbers may be the driver's "unknown"
 * sentinels, and its strings need not be terminated.
 */
#include "hl_battery.h"

#include <string.h>

#include "hl_access.h"

/* The driver's "unknown" values (poclass.h). */
#define UNKNOWN_CAPACITY 0xFFFFFFFFu
#define UNKNOWN_VOLTAGE 0xFFFFFFFFu
#define UNKNOWN_RATE 0x80000000u
#define TEXT_UNITS 256u

static uint32_t u32_at(const uint8_t *p, size_t at)
{
    return (uint32_t)p[at] | (uint32_t)p[at + 1] << 8 | (uint32_t)p[at + 2] << 16 |
           (uint32_t)p[at + 3] << 24;
}

void hl_battery_health_unknown(hl_battery_health_t *b)
{
    memset(b, 0, sizeof *b);
    b->design_capacity_mwh = b->full_charge_capacity_mwh = -1;
    b->health_percent = -1.0;
    b->cycle_count = b->voltage_mv = -1;
    b->rate_mw = HL_RATE_UNKNOWN;
    b->charge_percent = -1.0;
    b->full_charge_raw = -1;
}

/* 0 is what a driver reports that has no figure (a peer reads design
 * capacity 0 on some machines), and it could only divide by zero. */
static int capacity_known(uint32_t c)
{
    return c != 0 && c != UNKNOWN_CAPACITY;
}

/* The four-letter codes the battery class documents, in words; any other
 * code of printable letters passes as the driver wrote it. */
static void chemistry(const uint8_t *code, char *out, size_t size)
{
    static const struct {
        const char *code, *word;
    } names[] = {
        {"PbAc", "lead-acid"},
        {"LION", "Li-ion"},
        {"Li-I", "Li-ion"},
        {"NiCd", "NiCd"},
        {"NiMH", "NiMH"},
        {"NiZn", "NiZn"},
        {"RAM", "alkaline-manganese"},
    };
    char text[5];
    size_t n = 0;
    while (n < 4 && code[n] != 0) {
        if (code[n] < 0x21 && code[n] != ' ')
            return; /* not a code: left unknown */
        if (code[n] > 0x7E)
            return;
        text[n] = (char)code[n];
        n++;
    }
    while (n > 0 && text[n - 1] == ' ')
        n--;
    text[n] = '\0';
    if (n == 0)
        return;
    for (const auto &c : names) {
        size_t k = 0;
        while (c.code[k] != '\0' && k < n && (c.code[k] | 0x20) == (text[k] | 0x20))
            k++;
        if (c.code[k] == '\0' && k == n) {
            hl_copy(out, size, c.word);
            return;
        }
    }
    hl_copy(out, size, text);
}

int hl_battery_read_information(const void *data, size_t n, hl_battery_health_t *b,
                                uint32_t *capabilities)
{
    const uint8_t *p = (const uint8_t *)data;
    if (p == NULL || n < HL_BATTERY_INFORMATION_SIZE)
        return 0;
    *capabilities = u32_at(p, 0);
    chemistry(p + 8, b->chemistry, sizeof b->chemistry);
    uint32_t design = u32_at(p, 12), full = u32_at(p, 16), cycles = u32_at(p, 32);
    int relative = (*capabilities & HL_BATTERY_CAPACITY_RELATIVE) != 0;
    /* Relative capacities are in no unit: no mWh, but their ratio is still
     * the battery's wear. */
    if (!relative) {
        b->design_capacity_mwh = capacity_known(design) ? (int64_t)design : -1;
        b->full_charge_capacity_mwh = capacity_known(full) ? (int64_t)full : -1;
    }
    if (capacity_known(design) && capacity_known(full))
        b->health_percent = (double)full * 100.0 / (double)design;
    b->full_charge_raw = capacity_known(full) ? (int64_t)full : -1;
    /* A battery without a cycle counter reports 0. */
    b->cycle_count = cycles != 0 ? (int64_t)cycles : -1;
    return 1;
}

int hl_battery_read_status(const void *data, size_t n, uint32_t capabilities,
                           hl_battery_health_t *b)
{
    const uint8_t *p = (const uint8_t *)data;
    if (p == NULL || n < HL_BATTERY_STATUS_SIZE)
        return 0;
    uint32_t power = u32_at(p, 0), remaining = u32_at(p, 4);
    uint32_t voltage = u32_at(p, 8), rate = u32_at(p, 12);
    b->voltage_mv = voltage != UNKNOWN_VOLTAGE ? (int64_t)voltage : -1;
    if (rate != UNKNOWN_RATE && (capabilities & HL_BATTERY_CAPACITY_RELATIVE) == 0)
        b->rate_mw = (int64_t)(int32_t)rate;
    /* The remaining capacity is in the full-charge capacity's unit, mWh or
     * relative: their ratio is the charge either way. A gauge that reads a
     * little over full right after charging is full. */
    if (remaining != UNKNOWN_CAPACITY && b->full_charge_raw > 0) {
        double charge = (double)remaining * 100.0 / (double)b->full_charge_raw;
        b->charge_percent = charge > 100.0 ? 100.0 : charge;
    }
    /* BATTERY_CHARGING and BATTERY_DISCHARGING say what the battery does;
     * BATTERY_POWER_ON_LINE alone, that external power holds it (full, or
     * kept from charging). */
    if (power & HL_BATTERY_CHARGING)
        hl_copy(b->state, sizeof b->state, "Charging");
    else if (power & HL_BATTERY_DISCHARGING)
        hl_copy(b->state, sizeof b->state, "Discharging");
    else if (power & HL_BATTERY_POWER_ON_LINE)
        hl_copy(b->state, sizeof b->state, "AC");
    return 1;
}

void hl_battery_read_text(const void *data, size_t n, char *out, size_t size)
{
    char16_t text[TEXT_UNITS + 1];
    memset(text, 0, sizeof text);
    size_t units = n / 2 < TEXT_UNITS ? n / 2 : TEXT_UNITS;
    /* Copied byte by byte: the span need not be aligned for char16_t. */
    const uint8_t *p = (const uint8_t *)data;
    for (size_t i = 0; p != NULL && i < units; i++) {
        text[i] = (char16_t)(p[2 * i] | p[2 * i + 1] << 8);
        if (text[i] == 0)
            break;
    }
    char utf8[TEXT_UNITS * 3 + 8];
    w2s(text, utf8, (int)sizeof utf8);
    hl_trim(utf8);
    hl_copy(out, size, utf8[0] != '\0' ? utf8 : "unknown");
}
