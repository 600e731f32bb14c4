/*
 * The full snapshot: every collector runs first, in a fixed order, so the
 * document reflects one collection pass; only then are the sections written.
 * Each module's members come from the same writer as its own document.
 */
#include "hostlens_internal.h"

/* One section: "key":{members}, or "key":[entries] for a list, then the comma
 * that separates it from the next section (the logo member comes last). */
static void open_section(hl_json_t *j, const char *key, const char *bracket)
{
    hl_json_key(j, key);
    hl_json_raw(j, bracket);
}

static void close_section(hl_json_t *j, const char *bracket)
{
    hl_json_raw(j, bracket);
    hl_json_comma(j);
}

extern "C" const char *hostlens_get_all(void)
{
    hl_json_t *j = hl_json_thread();
    hl_json_reset(j);
    hl_json_raw(j, "{");

    /* Collection phase, in this order. */
    /* collect: os */
    /* collect: host */
    /* collect: kernel */
    /* collect: uptime */
    /* collect: packages */
    /* collect: shell */
    /* collect: resolution */
    /* collect: de */
    /* collect: wm */
    /* collect: terminal */
    /* collect: terminal_font */
    /* collect: cpu */
    /* collect: cpu_temp */
    /* collect: gpu */
    /* collect: memory */
    hl_memory_info_t memory;
    hl_impl_memory(&memory);
    /* collect: swap */
    hl_swap_info_t swap;
    hl_impl_swap(&swap);
    /* collect: battery */
    /* collect: disk */
    /* collect: network */
    /* collect: public_ip */
    /* collect: locale */
    /* collect: user */
    /* collect: process_count */

    /* Emission phase, in this order. */
    /* section: os */
    /* section: host */
    /* section: kernel */
    /* section: uptime */
    /* section: boot_time */
    /* section: packages */
    /* section: shell */
    /* section: resolution */
    /* section: de */
    /* section: wm */
    /* section: terminal */
    /* section: terminal_font */
    /* section: cpu */
    /* section: cpu_temp */
    /* section: gpu */
    /* section: memory */
    open_section(j, "memory", "{");
    hl_write_memory(j, &memory);
    close_section(j, "}");
    /* section: swap */
    open_section(j, "swap", "{");
    hl_write_swap(j, &swap);
    close_section(j, "}");
    /* section: battery */
    /* section: disk */
    /* section: network */
    /* section: public_ip */
    /* section: locale */
    /* section: user */
    /* section: process_count */

    hl_json_key(j, "logo");
    hl_json_str(j, hostlens_logo("generic"));
    hl_json_raw(j, "}");
    hl_clear_error();
    return hl_json_get(j);
}
