/*
 * Processor name, identity, topology, nominal speed, overall and
 * per-processor usage.
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

/* The machine's idle, kernel (idle included) and user times. Where there
 * are several processor groups, GetSystemTimes counts the calling thread's
 * group alone, and a thread may change group between two samples: the sums
 * of every group's processors then. */
static int system_times(const hl_cpu_window_t *w, uint64_t *idle, uint64_t *kernel, uint64_t *user)
{
    if (w->groups <= 1)
        return hl_port_system_times(idle, kernel, user);
    int64_t expected = 0;
    for (int g = 0; g < w->groups; g++)
        expected += w->active[g];
    hl_cpu_times_t t;
    hl_impl_cpu_times(&t);
    uint64_t sums[3] = {0, 0, 0};
    int ok = !t.out_of_memory && t.count == expected;
    for (int32_t i = 0; ok && i < t.count; i++) {
        const hl_cpu_ticks_t *c = &t.cores[i].ticks;
        ok = c->idle != HL_COUNTER_UNKNOWN && c->user != HL_COUNTER_UNKNOWN;
        /* A sleeping processor's kernel time may lag its idle time: it spent
         * none outside idle. */
        uint64_t privileged = c->privileged == HL_COUNTER_UNKNOWN ? 0 : c->privileged;
        sums[0] += c->idle;
        sums[1] += c->idle + privileged;
        sums[2] += c->user;
    }
    hl_cpu_times_release(&t);
    if (ok) {
        *idle = sums[0];
        *kernel = sums[1];
        *user = sums[2];
    }
    return ok;
}

/* The first samples of a usage window: the system's times, then the
 * calling thread's own, so that the thread's interval lies inside the
 * system's. */
static void usage_first(hl_cpu_window_t *w)
{
    w->times_ok = system_times(w, &w->times[0], &w->times[1], &w->times[2]);
    w->own_ok = hl_port_thread_times(&w->own[0], &w->own[1]);
}

/* The second samples, in the reverse order, and the usage over the window
 * less the calling thread's own time in it: what the library itself did
 * there (its collectors' registry walks, DLL loads, the WMI connection) is
 * not load of the machine's. */
static void usage_second(hl_cpu_info_t *out, const hl_cpu_window_t *w)
{
    uint64_t own[2] = {0, 0};
    int own_ok = hl_port_thread_times(&own[0], &own[1]) && w->own_ok;
    uint64_t b[3] = {0, 0, 0};
    int ok = system_times(w, &b[0], &b[1], &b[2]) && w->times_ok;
    /* A failed sample has no meaning; reporting it as a difference would. */
    if (!ok)
        return;
    uint64_t spent = 0;
    /* A thread's times only grow: samples that say otherwise subtract
     * nothing. */
    if (own_ok && own[0] >= w->own[0] && own[1] >= w->own[1])
        spent = (own[0] - w->own[0]) + (own[1] - w->own[1]);
    out->usage_percent = hl_impl_cpu_usage(w->times, b, spent);
}

int hl_impl_processor_groups(uint32_t *active, int cap)
{
    uint8_t *block;
    uint32_t length;
    if (query_records(HL_REL_GROUP, &block, &length) != 1)
        return 0;
    int groups = hl_impl_cpu_groups(block, length, active, cap);
    hl_port_free(block);
    return groups;
}

/* The active processors of every processor group, and the logical
 * processors from them: GetSystemInfo counts only the calling thread's
 * group, at most 64 processors. */
static void read_groups(hl_cpu_info_t *out, hl_cpu_window_t *w)
{
    w->groups = hl_impl_processor_groups(w->active, HL_CPU_MAX_GROUPS);
    int64_t sum = 0;
    for (int g = 0; g < w->groups; g++)
        sum += w->active[g];
    /* A group record cut short names fewer processors than the caller's
     * group has. */
    int64_t own_group = (int64_t)hl_port_processor_count();
    out->logical_cores = sum > own_group ? sum : own_group;
}

/* Sets up one counter per logical processor position and makes the first
 * collection; w->added stays 0 when there is nothing to sample. */
static void per_core_first(const hl_cpu_info_t *out, hl_cpu_window_t *w)
{
    w->query = NULL;
    w->positions = w->added = 0;
    if (hl_port_pdh_open(&w->query) != 0) {
        w->query = NULL;
        return;
    }
    int64_t n = out->logical_cores < HL_CPU_MAX_COUNTERS ? out->logical_cores : HL_CPU_MAX_COUNTERS;
    for (int64_t i = 0; i < n; i++) {
        w->counters[i] = NULL;
        char16_t path[256];
        if (!hl_impl_cpu_counter_path((uint32_t)i, w->active, w->groups, path, 256))
            continue;
        hl_handle_t counter = NULL;
        if (hl_port_pdh_add_english(w->query, path, &counter) == 0) {
            w->counters[i] = counter;
            w->added++;
        }
    }
    w->positions = n > 0 ? (int32_t)n : 0;
    /* A rate counter has a value only after two collections. */
    if (w->added > 0)
        hl_port_pdh_collect(w->query);
}

/* The second collection, the values at their processors' positions, and
 * every counter and the query given back. */
static void per_core_second(hl_cpu_info_t *out, hl_cpu_window_t *w)
{
    if (w->query == NULL)
        return;
    if (w->added > 0 && hl_port_pdh_collect(w->query) == 0) {
        double values[HL_CPU_MAX_COUNTERS];
        int read[HL_CPU_MAX_COUNTERS];
        for (int32_t i = 0; i < w->positions; i++) {
            values[i] = 0.0;
            read[i] = w->counters[i] != NULL && hl_port_pdh_value(w->counters[i], &values[i]) == 0;
        }
        hl_impl_cpu_per_core(out, values, read, w->positions);
    }
    for (int32_t i = 0; i < w->positions; i++)
        if (w->counters[i] != NULL)
            hl_port_pdh_remove(w->counters[i]);
    hl_port_pdh_close(w->query);
    w->query = NULL;
}

/* Family, model, stepping and the feature count from CPUID; they stay
 * unknown on a processor without it. */
static void read_identity(hl_cpu_info_t *out)
{
    hl_cpuid_t c;
    hl_impl_cpuid_read(&c);
    if (c.has_leaf1)
        hl_impl_cpu_signature(c.leaf1[0], &out->family, &out->model_number, &out->stepping);
    out->flags_count = hl_impl_cpu_flags_count(&c);
}

static void set_defaults(hl_cpu_info_t *out)
{
    memset(out, 0, sizeof *out);
    hl_copy(out->model, sizeof out->model, "unknown");
    hl_copy(out->physical_id, sizeof out->physical_id, "0");
    out->family = out->model_number = out->stepping = out->flags_count = -1;
    out->speed_min_mhz = out->speed_max_mhz = -1;
    out->speed_avg_mhz = out->usage_percent = -1.0;
    out->sockets = 1;
    out->physical_cores = -1;
}

void hl_impl_cpu_describe(hl_cpu_info_t *out)
{
    char name[256];
    name[0] = '\0';
    if (reg_getstr(HL_HKEY_LOCAL_MACHINE, CPU_KEY, u"ProcessorNameString", name, sizeof name)) {
        hl_trim(name);
        if (name[0] != '\0')
            hl_copy(out->model, sizeof out->model, name);
    }
    read_speed(out, name);
    read_identity(out);

    int64_t cores = count_rel(HL_REL_PROCESSOR_CORE);
    int64_t packages = count_rel(HL_REL_PROCESSOR_PACKAGE);
    out->physical_cores = cores >= 1 ? cores : out->logical_cores;
    if (packages >= 1)
        out->sockets = packages;
}

void hl_impl_cpu_info(hl_cpu_info_t *out)
{
    hl_cpu_window_t w;
    set_defaults(out);
    read_groups(out, &w);
    hl_impl_cpu_describe(out);
}

void hl_impl_cpu(hl_cpu_info_t *out)
{
    hl_cpu_window_t w;
    set_defaults(out);
    read_groups(out, &w);
    hl_impl_cpu_describe(out);

    /* Alone, each kind of sample waits out its own window. */
    usage_first(&w);
    hl_port_sleep(HL_CPU_WINDOW_MS);
    usage_second(out, &w);
    per_core_first(out, &w);
    if (w.added > 0)
        hl_port_sleep(HL_CPU_WINDOW_MS);
    per_core_second(out, &w);
}

uint32_t hl_impl_cpu_wait_ms(uint64_t started, uint64_t now, uint64_t per_second)
{
    if (per_second == 0 || now < started)
        return HL_CPU_WINDOW_MS;
    double elapsed_ms = (double)(now - started) * 1000.0 / (double)per_second;
    if (elapsed_ms >= HL_CPU_WINDOW_MS)
        return 0;
    /* The elapsed part in whole milliseconds, rounded down: the wait never
     * cuts the window short. */
    return HL_CPU_WINDOW_MS - (uint32_t)elapsed_ms;
}

void hl_impl_cpu_open(hl_cpu_info_t *out, hl_cpu_window_t *w)
{
    set_defaults(out);
    read_groups(out, w);
    usage_first(w);
    per_core_first(out, w);
    /* The window starts once both first samples are taken. */
    w->clock_ok = hl_port_perf_frequency(&w->per_second) && hl_port_perf_counter(&w->started);
}

void hl_impl_cpu_close(hl_cpu_info_t *out, hl_cpu_window_t *w)
{
    uint64_t now = 0;
    uint32_t wait = HL_CPU_WINDOW_MS;
    if (w->clock_ok && hl_port_perf_counter(&now))
        wait = hl_impl_cpu_wait_ms(w->started, now, w->per_second);
    if (wait > 0)
        hl_port_sleep(wait);
    usage_second(out, w);
    per_core_second(out, w);
}
