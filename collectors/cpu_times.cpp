/*
 * Processor times since boot, per logical processor of every processor
 * group, and their sums.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_activity.h"
#include "hl_cpu.h"
#include "hl_port.h"

/* Cores `first` up to `processors` of a group whose times were refused or
 * cut short: present, every value unknown, so that the list keeps one entry
 * per processor and every later one its place. 0 when memory ran out. */
static int add_unknown(hl_cpu_times_t *out, uint32_t group, uint32_t first, uint32_t processors)
{
    if (first >= processors)
        return 1;
    if (!hl_list_reserve((void **)&out->cores, &out->capacity,
                         out->count + (int32_t)(processors - first), sizeof(hl_core_times_t))) {
        out->out_of_memory = 1;
        return 0;
    }
    for (uint32_t i = first; i < processors; i++) {
        hl_core_times_t *c = &out->cores[out->count++];
        c->group = group;
        c->index = i;
        c->kernel = HL_COUNTER_UNKNOWN;
        c->ticks.user = c->ticks.privileged = c->ticks.idle = c->ticks.interrupt = c->ticks.dpc =
            HL_COUNTER_UNKNOWN;
    }
    return 1;
}

static void add_to(uint64_t *sum, uint64_t v)
{
    if (*sum == HL_COUNTER_UNKNOWN || v == HL_COUNTER_UNKNOWN || v > HL_COUNTER_UNKNOWN - 1 - *sum)
        *sum = HL_COUNTER_UNKNOWN;
    else
        *sum += v;
}

/* One group's times: the plain query answers the calling thread's group,
 * and the only one of a machine of one group; the Ex form takes the group
 * number. `active` is the group's active processors, -1 when the group
 * records are unknown. Returns 1 when the group answered in full, 0 when it
 * did not, -1 when memory ran out. */
static int read_group(hl_cpu_times_t *out, uint32_t group, int by_number, int64_t active)
{
    uint32_t processors = active > 0 ? (uint32_t)active : 0;
    uint64_t block[HL_GROUP_PROCESSORS * HL_PPI_SIZE / sizeof(uint64_t)];
    uint32_t got = 0;
    uint16_t number = (uint16_t)group;
    int32_t status = by_number
                         ? hl_port_system_info_ex(HL_SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION,
                                                  &number, sizeof number, block, sizeof block, &got)
                         : hl_port_system_info(HL_SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, block,
                                               sizeof block, &got);
    if (status != 0)
        return add_unknown(out, group, 0, processors) ? 0 : -1;
    int n = hl_impl_cpu_times_parse((const uint8_t *)block, got < sizeof block ? got : sizeof block,
                                    group, out);
    if (n < 0)
        return -1;
    /* More entries than the group has active processors would push every
     * later group's processors from their places. */
    if (active >= 0 && (uint32_t)n > processors) {
        out->count -= (int32_t)((uint32_t)n - processors);
        n = (int)processors;
    }
    if (!add_unknown(out, group, (uint32_t)n, processors))
        return -1;
    /* Fewer processors than the group has active would make short sums; a
     * group with none active has answered in full with none. (A list empty
     * as a whole has no sums.) */
    return active >= 0 && (uint32_t)n >= processors ? 1 : 0;
}

void hl_impl_cpu_times(hl_cpu_times_t *out)
{
    memset(out, 0, sizeof *out);
    hl_cpu_ticks_t *t = &out->total;
    t->user = t->privileged = t->idle = t->interrupt = t->dpc = HL_COUNTER_UNKNOWN;

    uint32_t active[HL_CPU_MAX_GROUPS];
    int groups = hl_impl_processor_groups(active, HL_CPU_MAX_GROUPS);
    int complete = 1;
    if (groups <= 1) {
        /* Without group records the plain query still gives the caller's
         * group, but nothing says it is the only one: no sums then. */
        int got = read_group(out, 0, 0, groups == 1 && active[0] > 0 ? (int64_t)active[0] : -1);
        if (got < 0)
            return;
        complete = groups == 1 ? got : 0;
    } else {
        /* Beyond 64 processors, each group is asked for by number: the plain
         * query sees the caller's group only. */
        for (int g = 0; g < groups; g++) {
            int got = read_group(out, (uint32_t)g, 1, active[g]);
            if (got < 0)
                return;
            complete &= got;
        }
    }
    if (!complete || out->count == 0)
        return;
    memset(t, 0, sizeof *t);
    uint64_t kernel = 0;
    for (int32_t i = 0; i < out->count; i++) {
        const hl_cpu_ticks_t *c = &out->cores[i].ticks;
        add_to(&t->user, c->user);
        add_to(&kernel, out->cores[i].kernel);
        add_to(&t->idle, c->idle);
        add_to(&t->interrupt, c->interrupt);
        add_to(&t->dpc, c->dpc);
    }
    /* From the sums rather than the cores' differences: one processor whose
     * kernel time lags its idle time for a moment leaves its own entry
     * unknown, not the machine's. */
    t->privileged =
        kernel != HL_COUNTER_UNKNOWN && t->idle != HL_COUNTER_UNKNOWN && kernel >= t->idle
            ? kernel - t->idle
            : HL_COUNTER_UNKNOWN;
}

void hl_cpu_times_release(hl_cpu_times_t *r)
{
    hl_port_free(r->cores);
    r->cores = NULL;
    r->count = r->capacity = 0;
}
