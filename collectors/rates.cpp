/*
 * Rates from two readings of the cumulative counters. Every subtraction is
 * checked first: a counter that went backwards was reset, and its
 * difference would be a wrap-around, not traffic.
 */
#include "hl_rates.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "hl_cpu.h"
#include "hl_port.h"

void hl_marks_begin(hl_marks_t *m, uint32_t width)
{
    /* The block may come from a reading of another kind, whose entries
     * have another width: its capacity counts entries of the width it is
     * filled with. */
    if (m->width != 0 && m->width != width)
        m->capacity = (int32_t)((uint64_t)m->capacity * m->width / width);
    m->count = 0;
    m->width = width;
}

/* Room for one more entry, or NULL when memory ran out. */
static uint64_t *add(hl_marks_t *m)
{
    if (m->count == INT32_MAX || !hl_list_reserve((void **)&m->items, &m->capacity, m->count + 1,
                                                  m->width * sizeof(uint64_t)))
        return NULL;
    return m->items + (size_t)m->count++ * m->width;
}

static int by_key(const void *a, const void *b)
{
    uint64_t x = *(const uint64_t *)a, y = *(const uint64_t *)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

static void sort(hl_marks_t *m)
{
    if (m->count > 1)
        qsort(m->items, (size_t)m->count, m->width * sizeof(uint64_t), by_key);
}

const uint64_t *hl_marks_find(const hl_marks_t *m, uint64_t key)
{
    if (m->items == NULL || m->count == 0)
        return NULL;
    return (const uint64_t *)bsearch(&key, m->items, (size_t)m->count, m->width * sizeof(uint64_t),
                                     by_key);
}

void hl_marks_free(hl_marks_t *m)
{
    hl_port_free(m->items);
    memset(m, 0, sizeof *m);
}

static uint64_t sum(uint64_t a, uint64_t b)
{
    if (a == HL_COUNTER_UNKNOWN || b == HL_COUNTER_UNKNOWN || b > HL_COUNTER_UNKNOWN - 1 - a)
        return HL_COUNTER_UNKNOWN;
    return a + b;
}

int hl_marks_of_cores(hl_marks_t *m, const hl_cpu_times_t *t)
{
    hl_marks_begin(m, HL_CORE_MARK_WIDTH);
    for (int32_t i = 0; i < t->count; i++) {
        const hl_core_times_t *c = &t->cores[i];
        uint64_t *e = add(m);
        if (e == NULL)
            return 0;
        e[0] = (uint64_t)c->group << 32 | c->index;
        e[1] = sum(c->ticks.user, c->ticks.privileged);
        e[2] = c->ticks.idle;
    }
    sort(m);
    return 1;
}

int hl_marks_of_interfaces(hl_marks_t *m, const hl_net_io_list_t *l)
{
    hl_marks_begin(m, HL_NET_MARK_WIDTH);
    for (int32_t i = 0; i < l->count; i++) {
        const hl_net_io_entry_t *n = &l->items[i];
        uint64_t *e = add(m);
        if (e == NULL)
            return 0;
        e[0] = n->luid;
        e[1] = n->rx_bytes;
        e[2] = n->tx_bytes;
        e[3] = n->rx_packets;
        e[4] = n->tx_packets;
    }
    sort(m);
    return 1;
}

/* The disk module's -1 for a counter the disk refused. */
static uint64_t counter(int64_t v)
{
    return v < 0 ? HL_COUNTER_UNKNOWN : (uint64_t)v;
}

int hl_marks_of_disks(hl_marks_t *m, const hl_disk_io_list_t *l)
{
    hl_marks_begin(m, HL_DISK_MARK_WIDTH);
    for (int32_t i = 0; i < l->count; i++) {
        const hl_physical_disk_t *d = &l->disks[i];
        uint64_t *e = add(m);
        if (e == NULL)
            return 0;
        e[0] = d->disk;
        e[1] = counter(d->read_bytes);
        e[2] = counter(d->write_bytes);
        e[3] = counter(d->reads);
        e[4] = counter(d->writes);
        e[5] = counter(d->idle_time);
    }
    sort(m);
    return 1;
}

int hl_marks_of_processes(hl_marks_t *m, const hl_process_list_t *l)
{
    hl_marks_begin(m, HL_PROCESS_MARK_WIDTH);
    for (int32_t i = 0; i < l->count; i++) {
        const hl_process_entry_t *p = &l->items[i];
        uint64_t *e = add(m);
        if (e == NULL)
            return 0;
        e[0] = p->pid;
        e[1] = p->create_time;
        e[2] = sum(p->user, p->kernel);
    }
    sort(m);
    return 1;
}

int hl_interval_100ns(uint64_t from, uint64_t to, uint64_t per_second, uint64_t *out)
{
    if (per_second == 0 || to < from)
        return 0;
    uint64_t d = to - from;
    /* In two parts, so that no product overflows: the remainder is below
     * the frequency, which is far below 2^64 / 10^7. */
    uint64_t whole = d / per_second, part = d % per_second;
    if (whole > UINT64_MAX / 10000000u)
        return 0;
    *out = whole * 10000000u + part * 10000000u / per_second;
    return 1;
}

double hl_rate_per_s(uint64_t before, uint64_t after, uint64_t interval)
{
    if (interval == 0 || before == HL_COUNTER_UNKNOWN || after == HL_COUNTER_UNKNOWN ||
        after < before)
        return HL_RATE_NONE;
    return (double)(after - before) * 1e7 / (double)interval;
}

double hl_busy_percent(uint64_t idle_before, uint64_t idle_after, uint64_t interval)
{
    if (interval == 0 || idle_before == HL_COUNTER_UNKNOWN || idle_after == HL_COUNTER_UNKNOWN ||
        idle_after < idle_before)
        return HL_RATE_NONE;
    uint64_t idle = idle_after - idle_before;
    if (idle >= interval)
        return 0.0;
    return (double)(interval - idle) * 100.0 / (double)interval;
}

/* One processor's busy share between two readings: over the interval by
 * the clock when there is one, else over the growth of its own times. */
static int core_share(const uint64_t *b, const uint64_t *a, uint64_t interval, uint64_t *busy,
                      uint64_t *whole)
{
    if (a[2] == HL_COUNTER_UNKNOWN || b[2] == HL_COUNTER_UNKNOWN || a[2] < b[2])
        return 0;
    uint64_t di = a[2] - b[2];
    int busy_moved = a[1] != HL_COUNTER_UNKNOWN && b[1] != HL_COUNTER_UNKNOWN && a[1] != b[1];
    /* Times that did not move at all were read twice within one of the
     * platform's ticks: they tell nothing about the interval. */
    if (di == 0 && !busy_moved)
        return 0;
    if (interval > 0) {
        /* Windows 11 (22H2 on) adds user and kernel time in whole clock
         * ticks, and on a processor asleep for a while not at all, while
         * its idle time grows exactly: their growths over a second can be a
         * tick against 250 ms of idle, and a share of them comes out far
         * below 0. Idle time against the clock stays true everywhere. */
        *busy = di >= interval ? 0 : interval - di;
        *whole = interval;
        return 1;
    }
    if (a[1] == HL_COUNTER_UNKNOWN || b[1] == HL_COUNTER_UNKNOWN || a[1] < b[1])
        return 0;
    uint64_t db = a[1] - b[1];
    /* A core's time since boot is far below 2^62; beyond it the readings are
     * garbage, and the sums below could overflow. */
    if (db >= (UINT64_C(1) << 62) || di >= (UINT64_C(1) << 62) || db + di == 0)
        return 0;
    *busy = db;
    *whole = db + di;
    return 1;
}

void hl_cpu_usage_since(const hl_marks_t *before, const hl_marks_t *after, uint64_t interval,
                        hl_cpu_info_t *out)
{
    out->usage_percent = -1.0;
    out->per_core_count = 0;
    if (!before->taken || after->count == 0)
        return;
    double values[HL_CPU_MAX_COUNTERS] = {0};
    int has[HL_CPU_MAX_COUNTERS] = {0};
    uint64_t busy = 0, total = 0;
    int every = 1;
    for (int32_t i = 0; i < after->count; i++) {
        const uint64_t *a = after->items + (size_t)i * after->width;
        const uint64_t *b = hl_marks_find(before, a[0]);
        uint64_t core_busy = 0, core_whole = 0;
        int known = b != NULL && core_share(b, a, interval, &core_busy, &core_whole);
        if (i < HL_CPU_MAX_COUNTERS) {
            has[i] = known;
            values[i] = known ? (double)core_busy * 100.0 / (double)core_whole : -1.0;
        }
        if (!known || core_whole >= (UINT64_C(1) << 62) - total) {
            every = 0;
            continue;
        }
        busy += core_busy;
        total += core_whole;
    }
    hl_impl_cpu_per_core(out, values, has,
                         after->count < HL_CPU_MAX_COUNTERS ? after->count : HL_CPU_MAX_COUNTERS);
    if (every && total > 0)
        out->usage_percent = (double)busy * 100.0 / (double)total;
}

int32_t hl_busiest(const hl_process_list_t *now, const hl_marks_t *before, uint64_t cap, int32_t n,
                   hl_busy_t **out)
{
    *out = NULL;
    if (n <= 0 || now->count == 0)
        return 0;
    hl_busy_t *all = (hl_busy_t *)hl_port_alloc((size_t)now->count * sizeof(hl_busy_t));
    if (all == NULL)
        return -1;
    int32_t count = 0;
    for (int32_t i = 0; i < now->count; i++) {
        const hl_process_entry_t *p = &now->items[i];
        if (p->pid == 0)
            continue;
        hl_busy_t *b = &all[count++];
        b->index = i;
        b->known = 0;
        b->cpu = 0;
        uint64_t cpu = sum(p->user, p->kernel);
        if (!before->taken || cpu == HL_COUNTER_UNKNOWN)
            continue;
        const uint64_t *was = hl_marks_find(before, p->pid);
        if (was != NULL && was[1] == p->create_time) {
            /* The same process; less time than before is no process's. */
            if (was[2] != HL_COUNTER_UNKNOWN && cpu >= was[2]) {
                b->known = 1;
                b->cpu = cpu - was[2];
            }
        } else if (p->create_time != 0 && p->create_time >= before->system_time) {
            /* Born since: all its time is new. The system clock moves in
             * ticks, so a process born just after the reading may carry the
             * very time of that reading; one running at it would be in it. */
            b->known = 1;
            b->cpu = cpu;
        }
        if (b->known && cap != 0 && b->cpu > cap)
            b->cpu = cap;
    }
    const hl_process_entry_t *items = now->items;
    auto busier = [items](const hl_busy_t &a, const hl_busy_t &b) {
        if (a.known != b.known)
            return a.known > b.known;
        if (a.cpu != b.cpu)
            return a.cpu > b.cpu;
        const hl_process_entry_t &x = items[a.index], &y = items[b.index];
        if (x.working_set_bytes != y.working_set_bytes)
            return x.working_set_bytes > y.working_set_bytes;
        return x.pid < y.pid;
    };
    int32_t keep = n < count ? n : count;
    std::partial_sort(all, all + keep, all + count, busier);
    *out = all;
    return keep;
}
