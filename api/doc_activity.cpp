/*
 * Documents of what the machine is doing: processor times, interface
 * counters and the process list. Counters are written as unsigned integers
 * and times as seconds with the 7 decimals of their 100 ns units, exactly.
 */
#include "hostlens_internal.h"

static void kv_count(hl_json_t *j, const char *key, uint64_t n)
{
    hl_json_key(j, key);
    hl_json_fixed(j, n, 0);
}

static void kv_seconds(hl_json_t *j, const char *key, uint64_t ticks)
{
    hl_json_key(j, key);
    if (ticks == HL_COUNTER_UNKNOWN)
        hl_json_str(j, "unknown");
    else
        hl_json_fixed(j, ticks, 7);
}

static void write_ticks(hl_json_t *j, const hl_cpu_ticks_t *t)
{
    kv_seconds(j, "user_s", t->user);
    hl_json_comma(j);
    kv_seconds(j, "privileged_s", t->privileged);
    hl_json_comma(j);
    kv_seconds(j, "idle_s", t->idle);
    hl_json_comma(j);
    kv_seconds(j, "interrupt_s", t->interrupt);
    hl_json_comma(j);
    kv_seconds(j, "dpc_s", t->dpc);
}

void hl_write_cpu_times(hl_json_t *j, const hl_cpu_times_t *r)
{
    if (r->out_of_memory) {
        hl_json_fail(j);
        return;
    }
    write_ticks(j, &r->total);
    hl_json_comma(j);
    hl_json_arr_open(j, "cores");
    for (int32_t i = 0; i < r->count; i++) {
        const hl_core_times_t *c = &r->cores[i];
        if (i > 0)
            hl_json_comma(j);
        /* The "group,index" label, digits written as the counters are: a
         * formatted print per processor cost 0.2 to 0.6 us under Wine, and
         * a machine may have hundreds. */
        hl_json_raw(j, "{");
        hl_json_key(j, "core");
        hl_json_raw(j, "\"");
        hl_json_fixed(j, c->group, 0);
        hl_json_raw(j, ",");
        hl_json_fixed(j, c->index, 0);
        hl_json_raw(j, "\"");
        hl_json_comma(j);
        write_ticks(j, &c->ticks);
        hl_json_raw(j, "}");
    }
    hl_json_arr_close(j);
}

void hl_write_net_io(hl_json_t *j, const hl_net_io_list_t *r)
{
    if (r->out_of_memory) {
        hl_json_fail(j);
        return;
    }
    for (int32_t i = 0; i < r->count; i++) {
        const hl_net_io_entry_t *e = &r->items[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "name", e->name);
        hl_json_comma(j);
        hl_json_kvs(j, "description", e->description);
        hl_json_comma(j);
        hl_json_kvn(j, "index", e->if_index);
        hl_json_comma(j);
        hl_json_kvs(j, "mac", e->mac);
        hl_json_comma(j);
        hl_json_kvn(j, "is_up", e->is_up);
        hl_json_comma(j);
        hl_json_kvn(j, "hardware", e->hardware);
        hl_json_comma(j);
        hl_json_kvn(j, "filter", e->filter);
        hl_json_comma(j);
        kv_count(j, "rx_bytes", e->rx_bytes);
        hl_json_comma(j);
        kv_count(j, "tx_bytes", e->tx_bytes);
        hl_json_comma(j);
        kv_count(j, "rx_packets", e->rx_packets);
        hl_json_comma(j);
        kv_count(j, "tx_packets", e->tx_packets);
        hl_json_comma(j);
        kv_count(j, "rx_errors", e->rx_errors);
        hl_json_comma(j);
        kv_count(j, "tx_errors", e->tx_errors);
        hl_json_comma(j);
        kv_count(j, "rx_discards", e->rx_discards);
        hl_json_comma(j);
        kv_count(j, "tx_discards", e->tx_discards);
        hl_json_comma(j);
        kv_count(j, "rx_unknown", e->rx_unknown);
        hl_json_comma(j);
        hl_json_kv_counter(j, "rx_speed_bps", e->rx_speed_bps);
        hl_json_comma(j);
        hl_json_kv_counter(j, "tx_speed_bps", e->tx_speed_bps);
        hl_json_raw(j, "}");
    }
}

void hl_write_processes(hl_json_t *j, const hl_process_list_t *r)
{
    if (r->out_of_memory) {
        hl_json_fail(j);
        return;
    }
    for (int32_t i = 0; i < r->count; i++) {
        const hl_process_entry_t *e = &r->items[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        kv_count(j, "pid", e->pid);
        hl_json_comma(j);
        kv_count(j, "ppid", e->ppid);
        hl_json_comma(j);
        hl_json_key(j, "name");
        if (e->name_at < 0)
            hl_json_str(j, "unknown");
        else
            hl_json_strn(j, r->text + e->name_at, (size_t)e->name_length);
        hl_json_comma(j);
        kv_count(j, "threads", e->threads);
        hl_json_comma(j);
        kv_count(j, "handles", e->handles);
        hl_json_comma(j);
        kv_count(j, "working_set_bytes", e->working_set_bytes);
        hl_json_comma(j);
        kv_count(j, "private_bytes", e->private_bytes);
        hl_json_comma(j);
        hl_json_key(j, "user_s");
        hl_json_fixed(j, e->user, 7);
        hl_json_comma(j);
        hl_json_key(j, "kernel_s");
        hl_json_fixed(j, e->kernel, 7);
        hl_json_comma(j);
        hl_json_kvs(j, "start_time", e->start_time);
        hl_json_raw(j, "}");
    }
}
