/*
 * Rates from two readings of the cumulative counters: what the sampler keeps
 * of a reading (each entry's identity and counters), and the rates, shares
 * and rankings taken from the previous reading and the present one. Plain
 * values in, plain values out: the sampler reads the platform through the
 * collectors and writes the document.
 */
#ifndef HL_RATES_H
#define HL_RATES_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens_internal.h"

/* A rate or share that cannot be given: written "unknown". */
#define HL_RATE_NONE (-1.0)

/* A reading kept for the next one: one entry per processor, interface,
 * disk or process, each `width` 64-bit numbers, its key first (what
 * identifies the entry from one reading to the next), then its counters
 * (HL_COUNTER_UNKNOWN where the platform refused one). The entries lie in
 * one heap block, sorted by key. */
typedef struct hl_marks_t {
    uint64_t *items;
    int32_t count, capacity; /* entries */
    uint32_t width;
    int taken;            /* a reading is in */
    uint64_t clock;       /* the performance counter of the read that took it */
    int clock_ok;         /* that read had a clock */
    uint64_t system_time; /* processes: the system time just before the list was read */
} hl_marks_t;

#define HL_CORE_MARK_WIDTH 3u    /* group << 32 | number; busy, idle */
#define HL_NET_MARK_WIDTH 5u     /* LUID; rx and tx bytes, rx and tx packets */
#define HL_DISK_MARK_WIDTH 6u    /* number; read and write bytes, reads, writes, idle time */
#define HL_PROCESS_MARK_WIDTH 3u /* pid; create time, processor time */

/* Empties m for a new reading of entries of `width` numbers, keeping its
 * block. */
void hl_marks_begin(hl_marks_t *m, uint32_t width);
/* The entries of a reading, sorted by key: 1, or 0 when memory ran out.
 * The interface table, the disks and the process list skip nothing; the
 * cores keep busy time (user and privileged) and idle time. */
int hl_marks_of_cores(hl_marks_t *m, const hl_cpu_times_t *t);
int hl_marks_of_interfaces(hl_marks_t *m, const hl_net_io_list_t *l);
int hl_marks_of_disks(hl_marks_t *m, const hl_disk_io_list_t *l);
int hl_marks_of_processes(hl_marks_t *m, const hl_process_list_t *l);
/* The entry whose key is `key`, or NULL; log n. */
const uint64_t *hl_marks_find(const hl_marks_t *m, uint64_t key);
void hl_marks_free(hl_marks_t *m);

/* The 100 ns units between two performance-counter readings, rounded down,
 * in *out: 1, or 0 when the clock cannot tell (no frequency, or a reading
 * below the earlier one). */
int hl_interval_100ns(uint64_t from, uint64_t to, uint64_t per_second, uint64_t *out);

/* Per second, the growth of a counter from `before` to `after` over
 * `interval` 100 ns units; HL_RATE_NONE when either reading is unknown, the
 * counter went backwards (a reset: never a wrap-around), or the interval
 * is 0. */
double hl_rate_per_s(uint64_t before, uint64_t after, uint64_t interval);

/* The share of an interval of `interval` 100 ns units a disk was not idle,
 * from its idle time before and after: 0 to 100, or HL_RATE_NONE as for a
 * rate. The two clocks are not the same, so a share beyond the ends is
 * taken as the end. */
double hl_busy_percent(uint64_t idle_before, uint64_t idle_after, uint64_t interval);

/* usage_percent and per_core_percent of out from two readings of the
 * cores `interval` 100 ns units apart: each processor's share of the
 * interval it was not idle, or, when the clock could not tell (interval 0),
 * its busy share of its own time between them; at its position (the order
 * of the readings' keys, the first HL_CPU_MAX_COUNTERS). -1.0 where a
 * processor is new, its times went backwards or did not move, or one was
 * refused. The whole is the busy share of every processor's together,
 * "unknown" unless every processor has its own. */
void hl_cpu_usage_since(const hl_marks_t *before, const hl_marks_t *after, uint64_t interval,
                        hl_cpu_info_t *out);

/* A process of the present list and the processor time it spent since the
 * previous reading. */
typedef struct hl_busy_t {
    int32_t index; /* in the process list */
    int known;     /* 0: no previous value */
    uint64_t cpu;  /* 100 ns */
} hl_busy_t;

/* The `n` busiest processes of `now` since the reading `before` (fewer
 * when the list is shorter), busiest first, in *out, a heap block of the
 * caller's to free; the count, or -1 when memory ran out. A process is the
 * same one when its pid and creation time are; one not in `before` spent
 * its whole processor time since then when it was created after `before`
 * was taken, and is otherwise not known. The idle process (pid 0), whose
 * time is the processors' idle time, is left out. Processor time is capped
 * at `cap` (all processors over the interval; 0: no cap). Ordered by that
 * time, the known before the unknown, then by working set (the larger
 * first), then by pid. */
int32_t hl_busiest(const hl_process_list_t *now, const hl_marks_t *before, uint64_t cap, int32_t n,
                   hl_busy_t **out);

#endif
