/*
 * Processor name, topology, nominal speed, overall and per-processor usage.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_access.h"
#include "hl_cpu.h"
#include "hl_port.h"

/* The records of one relationship in a block of the caller's to free: 1 with
 * the block, 0 when the filling call failed, -1 when the platform reported
 * no size or no block could be had. */
static int query_records(uint32_t relationship, uint8_t **block, uint32_t *length)
{
    *block = NULL;
    *length = 0;
    /* Without a buffer the call fails by design and reports the size. */
    hl_port_logical_processor_info(relationship, NULL, length);
    if (*length == 0)
        return -1;
    uint32_t allocated = *length;
    *block = (uint8_t *)hl_port_alloc(allocated);
    if (*block == NULL)
        return -1;
    if (!hl_port_logical_processor_info(relationship, *block, length) || *length > allocated) {
        hl_port_free(*block);
        *block = NULL;
        return 0;
    }
    return 1;
}

static int64_t count_rel(uint32_t relationship)
{
    uint8_t *block;
    uint32_t length;
    int got = query_records(relationship, &block, &length);
    if (got <= 0)
        return got;
    int64_t n = hl_impl_cpu_count_records(block, length, relationship);
    hl_port_free(block);
    return n;
}

static const char16_t CPU_KEY[] = u"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

/* The speed the name states is the nominal one. AMD names and recent Intel
 * ones state none; then "~MHz", the speed the firmware reported at start-up,
 * serves. A DWORD with its top bit set is no clock rate. */
static void read_speed(hl_cpu_info_t *out, const char *name)
{
    int64_t v = hl_impl_cpu_speed_mhz(name);
    uint32_t mhz = 0;
    if (v <= 0 && reg_getdword(HL_HKEY_LOCAL_MACHINE, CPU_KEY, u"~MHz", &mhz) && mhz < 0x80000000u)
        v = (int64_t)mhz;
    if (v <= 0)
        return;
    out->speed_max_mhz = v;
    out->speed_avg_mhz = (double)v;
    out->speed_min_mhz = (int64_t)((double)v * 0.8);
}

static void read_usage(hl_cpu_info_t *out)
{
    uint64_t a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
    int ok = hl_port_system_times(&a[0], &a[1], &a[2]);
    hl_port_sleep(200);
    ok = hl_port_system_times(&b[0], &b[1], &b[2]) && ok;
    /* A failed sample has no meaning; reporting it as a difference would. */
    if (ok)
        out->usage_percent = hl_impl_cpu_usage(a, b);
}

static void read_per_core(hl_cpu_info_t *out)
{
    uint32_t active[HL_CPU_MAX_GROUPS];
    int groups = 0;
    uint8_t *block;
    uint32_t length;
    if (query_records(HL_REL_GROUP, &block, &length) == 1) {
        groups = hl_impl_cpu_groups(block, length, active, HL_CPU_MAX_GROUPS);
        hl_port_free(block);
    }

    hl_handle_t query = NULL;
    if (hl_port_pdh_open(&query) != 0)
        return;
    int64_t n = out->logical_cores < HL_CPU_MAX_COUNTERS ? out->logical_cores : HL_CPU_MAX_COUNTERS;
    hl_handle_t counters[HL_CPU_MAX_COUNTERS];
    int added = 0;
    for (int64_t i = 0; i < n; i++) {
        char16_t path[256];
        if (!hl_impl_cpu_counter_path((uint32_t)i, active, groups, path, 256))
            continue;
        hl_handle_t counter = NULL;
        if (hl_port_pdh_add_english(query, path, &counter) == 0)
            counters[added++] = counter;
    }
    if (added > 0) {
        /* A rate counter has a value only after two collections. */
        hl_port_pdh_collect(query);
        hl_port_sleep(200);
        if (hl_port_pdh_collect(query) == 0) {
            for (int i = 0; i < added; i++) {
                double x = 0.0;
                if (hl_port_pdh_value(counters[i], &x) == 0)
                    hl_impl_cpu_keep(out, x);
            }
        }
    }
    for (int i = 0; i < added; i++)
        hl_port_pdh_remove(counters[i]);
    hl_port_pdh_close(query);
}

void hl_impl_cpu(hl_cpu_info_t *out)
{
    memset(out, 0, sizeof *out);
    hl_copy(out->model, sizeof out->model, "unknown");
    hl_copy(out->physical_id, sizeof out->physical_id, "0");
    out->family = out->model_number = out->stepping = out->flags_count = -1;
    out->speed_min_mhz = out->speed_max_mhz = -1;
    out->speed_avg_mhz = out->usage_percent = -1.0;
    out->sockets = 1;
    out->physical_cores = -1;

    out->logical_cores = (int64_t)hl_port_processor_count();

    char name[256];
    name[0] = '\0';
    if (reg_getstr(HL_HKEY_LOCAL_MACHINE, u"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                   u"ProcessorNameString", name, sizeof name)) {
        hl_trim(name);
        if (name[0] != '\0')
            hl_copy(out->model, sizeof out->model, name);
    }
    read_speed(out, name);

    int64_t cores = count_rel(HL_REL_PROCESSOR_CORE);
    int64_t packages = count_rel(HL_REL_PROCESSOR_PACKAGE);
    out->physical_cores = cores >= 1 ? cores : out->logical_cores;
    if (packages >= 1)
        out->sockets = packages;

    read_usage(out);
    read_per_core(out);
}
