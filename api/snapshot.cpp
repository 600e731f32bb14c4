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
    hl_os_info_t os;
    hl_impl_os(&os);
    hl_host_info_t host;
    hl_impl_host(&host);
    hl_kernel_info_t kernel;
    hl_impl_kernel(&kernel);
    hl_uptime_info_t uptime;
    hl_impl_uptime(&uptime);
    hl_packages_info_t packages;
    hl_impl_packages(&packages);
    hl_shell_info_t shell;
    hl_impl_shell(&shell);
    hl_resolution_info_t resolution;
    hl_impl_resolution(&resolution);
    hl_name_info_t de;
    hl_impl_de(&de);
    hl_name_info_t wm;
    hl_impl_wm(&wm);
    hl_terminal_info_t terminal;
    hl_impl_terminal(&terminal);
    hl_terminal_font_info_t terminal_font;
    hl_impl_terminal_font(&terminal_font);
    hl_cpu_info_t cpu;
    hl_impl_cpu(&cpu);
    double cpu_temp;
    hl_impl_cpu_temp(&cpu_temp);
    hl_gpu_list_t gpu;
    hl_impl_gpu(&gpu);
    hl_memory_info_t memory;
    hl_impl_memory(&memory);
    hl_swap_info_t swap;
    hl_impl_swap(&swap);
    hl_battery_list_t battery;
    hl_impl_battery(&battery);
    hl_disk_list_t disk;
    hl_impl_disk(&disk);
    hl_network_info_t network;
    hl_impl_network(&network);
    hl_public_ip_info_t public_ip;
    hl_impl_public_ip(&public_ip);
    hl_locale_info_t locale;
    hl_impl_locale(&locale);
    hl_user_info_t user;
    hl_impl_user(&user);
    uint64_t process_count = 0;
    hl_impl_process_count(&process_count);

    /* Emission phase, in this order. */
    open_section(j, "os", "{");
    hl_write_os(j, &os);
    close_section(j, "}");
    open_section(j, "host", "{");
    hl_write_host(j, &host);
    close_section(j, "}");
    open_section(j, "kernel", "{");
    hl_write_kernel(j, &kernel);
    close_section(j, "}");
    open_section(j, "uptime", "{");
    hl_write_uptime(j, &uptime, HL_SECTION);
    close_section(j, "}");
    open_section(j, "boot_time", "{");
    hl_write_boot_time(j, &uptime, HL_SECTION);
    close_section(j, "}");
    open_section(j, "packages", "{");
    hl_write_packages(j, &packages);
    close_section(j, "}");
    open_section(j, "shell", "{");
    hl_write_shell(j, &shell);
    close_section(j, "}");
    open_section(j, "resolution", "{");
    hl_write_resolution(j, &resolution, HL_SECTION);
    close_section(j, "}");
    open_section(j, "de", "{");
    hl_write_name(j, &de);
    close_section(j, "}");
    open_section(j, "wm", "{");
    hl_write_name(j, &wm);
    close_section(j, "}");
    open_section(j, "terminal", "{");
    hl_write_terminal(j, &terminal);
    close_section(j, "}");
    open_section(j, "terminal_font", "{");
    hl_write_terminal_font(j, &terminal_font, HL_SECTION);
    close_section(j, "}");
    open_section(j, "cpu", "{");
    hl_write_cpu(j, &cpu);
    close_section(j, "}");
    open_section(j, "cpu_temp", "{");
    hl_write_cpu_temp(j, cpu_temp);
    close_section(j, "}");
    open_section(j, "gpu", "[");
    hl_write_gpu(j, &gpu);
    close_section(j, "]");
    open_section(j, "memory", "{");
    hl_write_memory(j, &memory);
    close_section(j, "}");
    open_section(j, "swap", "{");
    hl_write_swap(j, &swap);
    close_section(j, "}");
    open_section(j, "battery", "[");
    hl_write_battery(j, &battery);
    close_section(j, "]");
    open_section(j, "disk", "[");
    hl_write_disk(j, &disk);
    close_section(j, "]");
    open_section(j, "network", "{");
    hl_write_network(j, &network);
    close_section(j, "}");
    open_section(j, "public_ip", "{");
    hl_write_public_ip(j, &public_ip);
    close_section(j, "}");
    open_section(j, "locale", "{");
    hl_write_locale(j, &locale);
    close_section(j, "}");
    open_section(j, "user", "{");
    hl_write_user(j, &user, HL_SECTION);
    close_section(j, "}");
    open_section(j, "process_count", "{");
    hl_write_process_count(j, process_count);
    close_section(j, "}");

    hl_json_key(j, "logo");
    hl_json_str(j, hostlens_logo("generic"));
    hl_json_raw(j, "}");
    hl_clear_error();
    return hl_json_get(j);
}
