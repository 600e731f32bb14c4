/*
 * The sampler: a handle the host owns, holding the previous reading of the
 * cumulative counters, so that a host that polls gets rates over its own
 * interval without a sleep. Each read takes what its list names through the
 * collectors, writes the rates from the previous reading, and keeps the new
 * one. Nothing here is shared between samplers, and nothing is locked.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_cpu.h"
#include "hl_port.h"
#include "hl_rates.h"

/* The sampler's own text starts small: a poller's document is a few KiB. */
#define SAMPLER_FIRST_BLOCK 4096u
#define PROCESSES_DEFAULT 10
/* "processes:N" takes at most this many digits. */
#define PROCESSES_DIGITS 9

struct hostlens_sampler {
    hl_json_t json;
    uint64_t per_second; /* the performance counter's frequency; 0 unknown */
    uint64_t clock;      /* the previous read's (or open's) reading of it */
    int clock_ok;
    hl_cpu_info_t cpu; /* everything but usage, read once */
    int described;
    hl_marks_t cores, interfaces, disks, processes;
    uint64_t processors; /* from the group records, when the times are refused */
};

/* The modules the sampler turns into rates itself; any other goes through
 * the pass as hostlens_collect writes it. */
typedef enum rate_t { RATE_CPU, RATE_NET, RATE_DISK, RATE_PROCESSES, RATE_COUNT } rate_t;
static const char *const RATE_KEYS[RATE_COUNT] = {"cpu", "net_io", "disk_io", "processes"};

/* What a list asks for, taken whole before anything is written: the list
 * may lie in the sampler's own previous text. */
typedef struct request_t {
    int rates[RATE_COUNT];
    int32_t top; /* how many processes */
    hl_module_set_t others;
    hl_names_t refused, unknown;
} request_t;

static int rate_of(const char *name, size_t length)
{
    for (int r = 0; r < RATE_COUNT; r++)
        if (strlen(RATE_KEYS[r]) == length && memcmp(RATE_KEYS[r], name, length) == 0)
            return r;
    return -1;
}

/* "processes:N" with N of 1 to 9 decimal digits: N, else -1. */
static int32_t processes_count(const char *name, size_t length)
{
    static const char prefix[] = "processes:";
    size_t p = sizeof prefix - 1;
    if (length <= p || length > p + PROCESSES_DIGITS || memcmp(name, prefix, p) != 0)
        return -1;
    int32_t n = 0;
    for (size_t i = p; i < length; i++) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

static void read_request(const char *modules, request_t *q)
{
    memset(q, 0, sizeof *q);
    q->top = PROCESSES_DEFAULT;
    int named = 0;
    hl_list_item_t item;
    for (const char *at = modules != NULL ? modules : ""; hl_list_next(&at, &item);) {
        if (item.length == 0)
            continue;
        named = 1;
        int r = rate_of(item.name, item.length);
        int32_t top = processes_count(item.name, item.length);
        if (top >= 0) {
            r = RATE_PROCESSES;
            q->top = top;
        } else if (r == RATE_PROCESSES) {
            q->top = PROCESSES_DEFAULT;
        }
        if (r >= 0) {
            q->rates[r] = 1;
            continue;
        }
        int i = hl_module_find(item.name, item.length);
        if (i < 0)
            hl_names_add(&q->unknown, item.name, item.length);
        else if (hl_modules[i].flags & HL_MODULE_BLOCKS)
            hl_names_add(&q->refused, item.name, item.length);
        else
            q->others |= HL_MODULE_BIT(i);
    }
    if (!named)
        for (int r = 0; r < RATE_COUNT; r++)
            q->rates[r] = 1;
}

/* ---- the readings ---------------------------------------------------------- */

/* A new reading takes the place of the previous one, whose block serves
 * as the next scratch reading. A reading the platform refused never comes
 * here: the previous one stays, with its clock, and the next rates span
 * both intervals, which is still right. */
static void keep_reading(hl_marks_t *kept, hl_marks_t *fresh, uint64_t clock, int clock_ok)
{
    hl_marks_t old = *kept;
    *kept = *fresh;
    kept->taken = 1;
    kept->clock = clock;
    kept->clock_ok = clock_ok;
    *fresh = old;
}

/* Each take_* reads one kind of counter into `fresh`: 1 when it holds a
 * reading, 0 when the platform gave nothing, -1 when memory ran out. */
static int take_cores(hl_marks_t *fresh)
{
    hl_cpu_times_t t;
    hl_impl_cpu_times(&t);
    /* Every processor unknown is a reading refused, kept out like an empty
     * one (a machine of one group lists its processors even then). */
    int known = 0;
    for (int32_t i = 0; i < t.count && !known; i++)
        known = t.cores[i].ticks.idle != HL_COUNTER_UNKNOWN;
    int got = t.out_of_memory ? -1 : !known ? 0 : hl_marks_of_cores(fresh, &t) ? 1 : -1;
    hl_cpu_times_release(&t);
    return got;
}

static int take_interfaces(hl_marks_t *fresh, hl_net_io_list_t *l)
{
    hl_impl_net_io(l);
    return l->out_of_memory ? -1 : l->count == 0 ? 0 : hl_marks_of_interfaces(fresh, l) ? 1 : -1;
}

static int take_disks(hl_marks_t *fresh, hl_disk_io_list_t *l)
{
    hl_impl_disk_counters(l);
    return l->out_of_memory ? -1 : l->count == 0 ? 0 : hl_marks_of_disks(fresh, l) ? 1 : -1;
}

static int take_processes(hl_marks_t *fresh, hl_process_list_t *l)
{
    /* Taken before the list: a process missing from it was born after. */
    fresh->system_time = hl_port_system_time();
    hl_impl_processes(l);
    return l->out_of_memory ? -1 : l->count == 0 ? 0 : hl_marks_of_processes(fresh, l) ? 1 : -1;
}

/* ---- the sections ------------------------------------------------------------ */

static void kv_rate(hl_json_t *j, const char *key, double rate)
{
    hl_json_kvd_unknown(j, key, rate);
}

/* The interval of a kind's rates, from the read that took its previous
 * reading to this one: 1 with it in *interval, 0 (and *interval 0, every
 * rate unknown) when the clocks cannot tell. */
static int interval_of(const hostlens_sampler *s, const hl_marks_t *before, uint64_t now,
                       int now_ok, uint64_t *interval)
{
    *interval = 0;
    if (before->taken && before->clock_ok && now_ok &&
        hl_interval_100ns(before->clock, now, s->per_second, interval))
        return 1;
    *interval = 0;
    return 0;
}

/* 0 when memory ran out. */
static int write_cpu(hl_json_t *j, hostlens_sampler *s, hl_marks_t *fresh)
{
    if (!s->described) {
        hl_impl_cpu_info(&s->cpu);
        s->described = 1;
    }
    hl_cpu_info_t out = s->cpu;
    uint64_t now;
    int now_ok = hl_port_perf_counter(&now);
    int got = take_cores(fresh);
    if (got < 0)
        return 0;
    if (got > 0) {
        /* Without a clock the processors' own times give the shares; but
         * over no time at all there are none, whatever two readings of
         * their ticks say. */
        uint64_t interval;
        if (!interval_of(s, &s->cores, now, now_ok, &interval) || interval > 0)
            hl_cpu_usage_since(&s->cores, fresh, interval, &out);
        keep_reading(&s->cores, fresh, now, now_ok);
    }
    hl_json_obj_open(j, "cpu");
    hl_write_cpu(j, &out);
    hl_json_obj_close(j);
    return 1;
}

static int write_net(hl_json_t *j, hostlens_sampler *s, hl_marks_t *fresh)
{
    hl_net_io_list_t l;
    uint64_t now;
    int now_ok = hl_port_perf_counter(&now);
    int got = take_interfaces(fresh, &l);
    uint64_t interval;
    interval_of(s, &s->interfaces, now, now_ok, &interval);
    hl_json_arr_open(j, "net_io");
    int n = 0;
    for (int32_t i = 0; got >= 0 && i < l.count; i++) {
        const hl_net_io_entry_t *e = &l.items[i];
        /* A filter interface repeats the traffic of the one beneath it. */
        if (e->filter)
            continue;
        const uint64_t *was = hl_marks_find(&s->interfaces, e->luid);
        const uint64_t none[HL_NET_MARK_WIDTH] = {0, HL_COUNTER_UNKNOWN, HL_COUNTER_UNKNOWN,
                                                  HL_COUNTER_UNKNOWN, HL_COUNTER_UNKNOWN};
        if (was == NULL)
            was = none;
        if (n++ > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "name", e->name);
        hl_json_comma(j);
        kv_rate(j, "rx_bytes_per_s", hl_rate_per_s(was[1], e->rx_bytes, interval));
        hl_json_comma(j);
        kv_rate(j, "tx_bytes_per_s", hl_rate_per_s(was[2], e->tx_bytes, interval));
        hl_json_comma(j);
        kv_rate(j, "rx_packets_per_s", hl_rate_per_s(was[3], e->rx_packets, interval));
        hl_json_comma(j);
        kv_rate(j, "tx_packets_per_s", hl_rate_per_s(was[4], e->tx_packets, interval));
        hl_json_comma(j);
        hl_json_kv_counter(j, "rx_speed_bps", e->rx_speed_bps);
        hl_json_comma(j);
        hl_json_kv_counter(j, "tx_speed_bps", e->tx_speed_bps);
        hl_json_comma(j);
        hl_json_kvn(j, "is_up", e->is_up);
        hl_json_comma(j);
        hl_json_kvn(j, "hardware", e->hardware);
        hl_json_raw(j, "}");
    }
    hl_json_arr_close(j);
    if (got > 0)
        keep_reading(&s->interfaces, fresh, now, now_ok);
    hl_net_io_release(&l);
    return got >= 0;
}

static int write_disks(hl_json_t *j, hostlens_sampler *s, hl_marks_t *fresh)
{
    hl_disk_io_list_t l;
    uint64_t now;
    int now_ok = hl_port_perf_counter(&now);
    int got = take_disks(fresh, &l);
    uint64_t interval;
    interval_of(s, &s->disks, now, now_ok, &interval);
    hl_json_arr_open(j, "disk_io");
    for (int32_t i = 0; got > 0 && i < fresh->count; i++) {
        const uint64_t *e = fresh->items + (size_t)i * fresh->width;
        const uint64_t *was = hl_marks_find(&s->disks, e[0]);
        const uint64_t none[HL_DISK_MARK_WIDTH] = {0,
                                                   HL_COUNTER_UNKNOWN,
                                                   HL_COUNTER_UNKNOWN,
                                                   HL_COUNTER_UNKNOWN,
                                                   HL_COUNTER_UNKNOWN,
                                                   HL_COUNTER_UNKNOWN};
        if (was == NULL)
            was = none;
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvn(j, "disk", (int64_t)e[0]);
        hl_json_comma(j);
        kv_rate(j, "read_bytes_per_s", hl_rate_per_s(was[1], e[1], interval));
        hl_json_comma(j);
        kv_rate(j, "write_bytes_per_s", hl_rate_per_s(was[2], e[2], interval));
        hl_json_comma(j);
        kv_rate(j, "reads_per_s", hl_rate_per_s(was[3], e[3], interval));
        hl_json_comma(j);
        kv_rate(j, "writes_per_s", hl_rate_per_s(was[4], e[4], interval));
        hl_json_comma(j);
        kv_rate(j, "busy_percent", hl_busy_percent(was[5], e[5], interval));
        hl_json_raw(j, "}");
    }
    hl_json_arr_close(j);
    if (got > 0)
        keep_reading(&s->disks, fresh, now, now_ok);
    hl_disk_io_free(&l);
    return got >= 0;
}

/* The processors a process's time is capped by: those the processor times
 * list, else those the group records count (read once they answer); 0 when
 * neither is known. */
static uint64_t processor_count(hostlens_sampler *s)
{
    if (s->cores.taken && s->cores.count > 0)
        return (uint64_t)s->cores.count;
    if (s->processors == 0) {
        uint32_t active[HL_CPU_MAX_GROUPS];
        int groups = hl_impl_processor_groups(active, HL_CPU_MAX_GROUPS);
        for (int g = 0; g < groups; g++)
            s->processors += active[g];
    }
    return s->processors;
}

static int write_processes(hl_json_t *j, hostlens_sampler *s, hl_marks_t *fresh, int32_t top)
{
    hl_process_list_t l;
    uint64_t now;
    int now_ok = hl_port_perf_counter(&now);
    int got = take_processes(fresh, &l);
    uint64_t interval;
    interval_of(s, &s->processes, now, now_ok, &interval);
    /* No process uses more than every processor for the whole interval. */
    uint64_t processors = processor_count(s);
    uint64_t cap =
        processors > 0 && interval <= UINT64_MAX / processors ? interval * processors : 0;
    hl_busy_t *ranked = NULL;
    int32_t n = got > 0 ? hl_busiest(&l, &s->processes, cap, top, &ranked) : 0;
    hl_json_arr_open(j, "processes");
    for (int32_t i = 0; i < n; i++) {
        const hl_process_entry_t *p = &l.items[ranked[i].index];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_key(j, "pid");
        hl_json_fixed(j, p->pid, 0);
        hl_json_comma(j);
        hl_json_key(j, "name");
        if (p->name_at < 0)
            hl_json_str(j, "unknown");
        else
            hl_json_strn(j, l.text + p->name_at, (size_t)p->name_length);
        hl_json_comma(j);
        double percent = HL_RATE_NONE;
        if (ranked[i].known && interval > 0)
            percent = (double)ranked[i].cpu * 100.0 / (double)interval;
        kv_rate(j, "cpu_percent", percent);
        hl_json_comma(j);
        hl_json_key(j, "working_set_bytes");
        hl_json_fixed(j, p->working_set_bytes, 0);
        hl_json_raw(j, "}");
    }
    hl_json_arr_close(j);
    hl_port_free(ranked);
    if (got > 0 && n >= 0)
        keep_reading(&s->processes, fresh, now, now_ok);
    hl_processes_release(&l);
    return got >= 0 && n >= 0;
}

/* The sampler's text, emptied for a new document; NULL when no block could
 * be had. */
static hl_json_t *begin_text(hostlens_sampler *s)
{
    hl_json_t *j = &s->json;
    if (j->data == NULL) {
        j->data = (char *)hl_port_alloc(SAMPLER_FIRST_BLOCK);
        if (j->data == NULL)
            return NULL;
        j->capacity = SAMPLER_FIRST_BLOCK;
    }
    j->length = 0;
    j->data[0] = '\0';
    return j;
}

/* ---- the exports --------------------------------------------------------------- */

extern "C" hostlens_sampler *hostlens_sampler_open(void)
{
    hostlens_sampler *s = (hostlens_sampler *)hl_port_alloc(sizeof *s);
    if (s == NULL)
        return NULL;
    memset(s, 0, sizeof *s);
    if (!hl_port_perf_frequency(&s->per_second))
        s->per_second = 0;
    s->clock_ok = hl_port_perf_counter(&s->clock);
    hl_marks_t fresh;
    memset(&fresh, 0, sizeof fresh);
    hl_net_io_list_t net;
    hl_disk_io_list_t disks;
    hl_process_list_t processes;
    /* Each kind keeps the clock read just before its counters, so that the
     * time the kinds before it took in this call, or do not take in the
     * next, does not skew its rates. */
    int got[RATE_COUNT];
    uint64_t at = s->clock;
    int at_ok = s->clock_ok;
    got[RATE_CPU] = take_cores(&fresh);
    if (got[RATE_CPU] > 0)
        keep_reading(&s->cores, &fresh, at, at_ok);
    at_ok = hl_port_perf_counter(&at);
    got[RATE_NET] = take_interfaces(&fresh, &net);
    if (got[RATE_NET] > 0)
        keep_reading(&s->interfaces, &fresh, at, at_ok);
    hl_net_io_release(&net);
    at_ok = hl_port_perf_counter(&at);
    got[RATE_DISK] = take_disks(&fresh, &disks);
    if (got[RATE_DISK] > 0)
        keep_reading(&s->disks, &fresh, at, at_ok);
    hl_disk_io_free(&disks);
    at_ok = hl_port_perf_counter(&at);
    got[RATE_PROCESSES] = take_processes(&fresh, &processes);
    if (got[RATE_PROCESSES] > 0)
        keep_reading(&s->processes, &fresh, at, at_ok);
    hl_processes_release(&processes);
    hl_marks_free(&fresh);
    hl_clear_error();
    for (int r = 0; r < RATE_COUNT; r++) {
        if (got[r] < 0) {
            hostlens_sampler_close(s);
            return NULL;
        }
    }
    return s;
}

extern "C" const char *hostlens_sampler_read(hostlens_sampler *s, const char *modules)
{
    if (s == NULL)
        return NULL;
    request_t q;
    read_request(modules, &q);

    uint64_t now = 0;
    int now_ok = hl_port_perf_counter(&now);
    uint64_t interval = 0;
    int interval_ok =
        s->clock_ok && now_ok && hl_interval_100ns(s->clock, now, s->per_second, &interval);
    int ok = !q.refused.failed && !q.unknown.failed;
    hl_json_t *j = begin_text(s);
    if (j == NULL) {
        hl_names_free(&q.refused);
        hl_names_free(&q.unknown);
        return NULL;
    }
    hl_json_raw(j, "{");
    hl_json_key(j, "interval_s");
    if (interval_ok)
        hl_json_fixed(j, interval, 7);
    else
        hl_json_str(j, "unknown");

    /* One scratch reading for every kind: each kind's new reading takes the
     * place of its previous one, and the previous one's block serves the
     * next kind. */
    hl_marks_t fresh;
    memset(&fresh, 0, sizeof fresh);
    if (q.rates[RATE_CPU]) {
        hl_json_comma(j);
        ok = write_cpu(j, s, &fresh) && ok;
    }
    if (q.rates[RATE_NET]) {
        hl_json_comma(j);
        ok = write_net(j, s, &fresh) && ok;
    }
    if (q.rates[RATE_DISK]) {
        hl_json_comma(j);
        ok = write_disks(j, s, &fresh) && ok;
    }
    if (q.rates[RATE_PROCESSES]) {
        hl_json_comma(j);
        ok = write_processes(j, s, &fresh, q.top) && ok;
    }
    hl_marks_free(&fresh);
    if (q.others != 0) {
        /* The pass opens its own object: its brace becomes the comma after
         * what is written already. */
        uint64_t at = j->length;
        int sections = 0;
        hl_pass(j, q.others, &sections);
        if (j->data != NULL && sections > 0)
            j->data[at] = ',';
        else if (j->data != NULL)
            j->data[j->length = at] = '\0';
    }
    if (q.refused.count > 0) {
        hl_json_comma(j);
        hl_names_write(j, &q.refused, "refused_modules");
    }
    if (q.unknown.count > 0) {
        hl_json_comma(j);
        hl_names_write(j, &q.unknown, "unknown_modules");
    }
    hl_json_raw(j, "}");
    hl_names_free(&q.refused);
    hl_names_free(&q.unknown);

    s->clock = now;
    s->clock_ok = now_ok;
    hl_clear_error();
    if (!ok)
        hl_json_fail(j);
    return hl_json_get(j);
}

extern "C" void hostlens_sampler_close(hostlens_sampler *s)
{
    if (s == NULL)
        return;
    hl_port_free(s->json.data);
    hl_marks_free(&s->cores);
    hl_marks_free(&s->interfaces);
    hl_marks_free(&s->disks);
    hl_marks_free(&s->processes);
    hl_port_free(s);
}
