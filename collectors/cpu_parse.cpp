/*
 * Parsers of the CPU collector: logical-processor records, the speed in the
 * processor name, the usage formula and the per-processor values.
 */
#include "hl_cpu.h"

#include <stdlib.h>
#include <string.h>

static uint32_t rd16(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

static uint32_t rd32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

/* Every record starts with Relationship and Size (32 bits each) and the next
 * follows Size bytes later. Records may be shorter than the SDK's structure,
 * so Size is all the walk trusts; a Size below the header would never move. */
#define LPI_HEADER 8u

static const uint8_t *next_record(const uint8_t *p, size_t length, size_t *offset, uint32_t *size)
{
    if (p == NULL || length < LPI_HEADER || *offset > length - LPI_HEADER)
        return NULL;
    const uint8_t *rec = p + *offset;
    uint32_t sz = rd32(rec + 4);
    if (sz < LPI_HEADER || sz > length - *offset)
        return NULL;
    *offset += sz;
    *size = sz;
    return rec;
}

int64_t hl_impl_cpu_count_records(const uint8_t *p, size_t length, uint32_t relationship)
{
    int64_t count = 0;
    size_t offset = 0;
    uint32_t size = 0;
    const uint8_t *rec;
    while ((rec = next_record(p, length, &offset, &size)) != NULL)
        if (rd32(rec) == relationship)
            count++;
    return count;
}

/* GROUP_RELATIONSHIP after the record header: MaximumGroupCount (16 bits),
 * ActiveGroupCount (16 bits), 20 reserved bytes, then one PROCESSOR_GROUP_INFO
 * per group: MaximumProcessorCount, ActiveProcessorCount (a byte each), 38
 * reserved bytes and the 64-bit ActiveProcessorMask, 48 bytes in all. Older
 * MinGW headers lay this out differently, hence the offsets here. */
#define GROUP_ACTIVE_COUNT 10u
#define GROUP_INFO_FIRST 32u
#define GROUP_INFO_SIZE 48u
#define GROUP_INFO_ACTIVE 1u

int hl_impl_cpu_groups(const uint8_t *p, size_t length, uint32_t *active, int cap)
{
    size_t offset = 0;
    uint32_t size = 0;
    const uint8_t *rec;
    while ((rec = next_record(p, length, &offset, &size)) != NULL) {
        if (rd32(rec) != HL_REL_GROUP)
            continue;
        if (size < GROUP_INFO_FIRST)
            return 0;
        uint32_t declared = rd16(rec + GROUP_ACTIVE_COUNT);
        int n = 0;
        for (uint32_t g = 0; g < declared && n < cap; g++) {
            size_t at = GROUP_INFO_FIRST + (size_t)g * GROUP_INFO_SIZE;
            if (at + GROUP_INFO_SIZE > size)
                break;
            active[n++] = rec[at + GROUP_INFO_ACTIVE];
        }
        return n;
    }
    return 0;
}

/* The decimal digits of v at out; returns their count (at most 10). */
static size_t put_decimal(uint32_t v, char *out)
{
    char digits[10];
    size_t n = 0;
    do {
        digits[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (size_t i = 0; i < n; i++)
        out[i] = digits[n - 1 - i];
    return n;
}

int hl_impl_cpu_counter_path(uint32_t index, const uint32_t *active, int groups, char16_t *out,
                             size_t cap)
{
    uint32_t group = 0, number = index;
    if (groups > 0) {
        int g = 0;
        while (g < groups && number >= active[g])
            number -= active[g++];
        if (g == groups)
            return 0;
        group = (uint32_t)g;
    }
    /* Instances of "Processor Information" are "group,number"; the English
     * object name works on every display language through
     * PdhAddEnglishCounterW. Written straight into the UTF-16 path: this runs
     * once per logical processor on every call. */
    static const char head[] = "\\\\.\\Processor Information(";
    static const char tail[] = ")\\% Processor Time";
    char path[128];
    size_t n = 0;
    memcpy(path, head, sizeof head - 1);
    n += sizeof head - 1;
    n += put_decimal(group, path + n);
    path[n++] = ',';
    n += put_decimal(number, path + n);
    memcpy(path + n, tail, sizeof tail);
    n += sizeof tail - 1;
    if (n + 1 > cap)
        return 0;
    for (size_t i = 0; i <= n; i++)
        out[i] = (char16_t)(unsigned char)path[i];
    return 1;
}

/* The number that ends right before `unit` (blanks between them allowed):
 * its digits and one decimal point, and a sign in front of them. */
static double number_before(const char *start, const char *unit)
{
    const char *end = unit;
    while (end > start && end[-1] == ' ')
        end--;
    const char *begin = end;
    int dot = 0;
    while (begin > start) {
        char c = begin[-1];
        if (c >= '0' && c <= '9') {
            begin--;
        } else if (c == '.' && !dot) {
            dot = 1;
            begin--;
        } else {
            break;
        }
    }
    if (begin > start && (begin[-1] == '-' || begin[-1] == '+'))
        begin--;
    char text[64];
    size_t n = (size_t)(end - begin);
    if (n == 0 || n >= sizeof text)
        return 0.0;
    memcpy(text, begin, n);
    text[n] = '\0';
    return strtod(text, NULL);
}

int64_t hl_impl_cpu_speed_mhz(const char *name)
{
    if (name == NULL)
        return -1;
    const char *at = strrchr(name, '@');
    if (at == NULL)
        return -1;
    double mhz;
    const char *unit = strstr(at, "GHz");
    if (unit != NULL) {
        mhz = number_before(at, unit) * 1000.0;
    } else if ((unit = strstr(at, "MHz")) != NULL) {
        mhz = number_before(at, unit);
    } else {
        return -1;
    }
    /* Beyond the 64-bit range the truncation below would be undefined. */
    if (!(mhz >= 1.0) || mhz >= 9.0e18)
        return -1;
    return (int64_t)mhz;
}

double hl_impl_cpu_usage(const uint64_t first[3], const uint64_t second[3], uint64_t own)
{
    uint64_t total = second[1] + second[2] - first[1] - first[2];
    uint64_t idle = second[0] - first[0];
    /* Idle is part of kernel time, so an idle delta above the total means the
     * samples disagree; the wrapped difference would be a huge percentage. */
    if (total == 0 || idle > total)
        return -1.0;
    uint64_t busy = total - idle;
    /* The thread's own time is counted in ticks of its own: it may exceed
     * the busy time the system counted over nearly the same interval. */
    busy = busy > own ? busy - own : 0;
    return (double)busy * 100.0 / (double)total;
}

void hl_impl_cpu_per_core(hl_cpu_info_t *out, const double *values, const int *read, int32_t n)
{
    int any = 0;
    if (n > HL_CPU_MAX_COUNTERS)
        n = HL_CPU_MAX_COUNTERS;
    for (int32_t i = 0; i < n; i++) {
        double x = values[i];
        /* NaN fails both comparisons. */
        int ok = read[i] && x >= 0.0 && x <= 100.0;
        out->per_core_percent[i] = ok ? x : -1.0;
        any |= ok;
    }
    out->per_core_count = any ? n : 0;
}
