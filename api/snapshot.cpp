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
    hl_os_info_t os;
    hl_impl_os(&os);
    /* collect: host */
    /* collect: kernel */
    hl_kernel_info_t kernel;
    hl_impl_kernel(&kernel);
    /* collect: uptime */
    /* collect: packages */
    /* collect: shell */
    /* collect: resolution */
    hl_resolution_info_t resolution;
    hl_impl_resolution(&resolution);
    /* collect: de */
    hl_name_info_t de;
    hl_impl_de(&de);
    /* collect: wm */
    hl_name_info_t wm;
    hl_impl_wm(&wm);
    /* collect: terminal */
    /* collect: terminal_font */
    /* collect: cpu */
    /* collect: cpu_temp */
    double cpu_temp;
    hl_impl_cpu_temp(&cpu_temp);
    /* collect: gpu */
    hl_gpu_list_t gpu;
    hl_impl_gpu(&gpu);
    /* collect: memory */
    hl_memory_info_t memory;
    hl_impl_memory(&memory);
    /* collect: swap */
    hl_swap_info_t swap;
    hl_impl_swap(&swap);
    /* collect: battery */
    hl_battery_list_t battery;
    hl_impl_battery(&battery);
    /* collect: disk */
    /* collect: network */
    /* collect: public_ip */
    /* collect: locale */
    /* collect: user */
    /* collect: process_count */

    /* Emission phase, in this order. */
    /* section: os */
    open_section(j, "os", "{");
    hl_write_os(j, &os);
    close_section(j, "}");
    /* section: host */
    /* section: kernel */
    open_section(j, "kernel", "{");
    hl_write_kernel(j, &kernel);
    close_section(j, "}");
    /* section: uptime */
    /* section: boot_time */
    /* section: packages */
    /* section: shell */
    /* section: resolution */
    open_section(j, "resolution", "{");
    hl_write_resolution(j, &resolution, HL_SECTION);
    close_section(j, "}");
    /* section: de */
    open_section(j, "de", "{");
    hl_write_name(j, &de);
    close_section(j, "}");
    /* section: wm */
    open_section(j, "wm", "{");
    hl_write_name(j, &wm);
    close_section(j, "}");
    /* section: terminal */
    /* section: terminal_font */
    /* section: cpu */
    /* section: cpu_temp */
    open_section(j, "cpu_temp", "{");
    hl_write_cpu_temp(j, cpu_temp);
    close_section(j, "}");
    /* section: gpu */
    open_section(j, "gpu", "[");
    hl_write_gpu(j, &gpu);
    close_section(j, "]");
    /* section: memory */
    open_section(j, "memory", "{");
    hl_write_memory(j, &memory);
    close_section(j, "}");
    /* section: swap */
    open_section(j, "swap", "{");
    hl_write_swap(j, &swap);
    close_section(j, "}");
    /* section: battery */
    open_section(j, "battery", "[");
    hl_write_battery(j, &battery);
    close_section(j, "]");
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
