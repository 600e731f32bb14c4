/*
 * The table of modules, in the snapshot's order, and the one pass that every
 * multi-module export makes over it: all chosen collectors first, then their
 * sections. A module that samples over a window (the CPU) opens it before
 * the other collectors and closes it after them, so that their work fills
 * the window instead of a sleep. One record of each collector lives in the
 * pass's own frame.
 */
#include "hostlens_internal.h"

#include "hl_access.h"

struct hl_records_t {
    hl_os_info_t os;
    hl_host_info_t host;
    hl_kernel_info_t kernel;
    hl_uptime_info_t uptime; /* both the uptime and the boot_time sections */
    hl_packages_info_t packages;
    hl_shell_info_t shell;
    hl_resolution_info_t resolution;
    hl_name_info_t de;
    hl_name_info_t wm;
    hl_terminal_info_t terminal;
    hl_terminal_font_info_t terminal_font;
    hl_cpu_info_t cpu;
    hl_cpu_window_t cpu_window;
    double cpu_temp;
    hl_gpu_list_t gpu;
    hl_memory_info_t memory;
    hl_swap_info_t swap;
    hl_battery_list_t battery;
    hl_disk_list_t disk;
    hl_network_info_t network;
    hl_public_ip_info_t public_ip;
    hl_locale_info_t locale;
    hl_user_info_t user;
    uint64_t process_count;
    hl_cpu_times_t cpu_times;
    hl_net_io_list_t net_io;
    hl_process_list_t processes;
    hl_disk_io_list_t disk_io;
    hl_volume_list_t volumes;
    hl_hypervisor_info_t hypervisor;
    hl_os_release_info_t os_release;
    hl_display_list_t displays;
    hl_battery_health_list_t battery_health;
    hl_cpu_info_t cpu_info;
    hl_display_adapter_list_t display_adapters;
};

/* ---- each collector and writer over the pass's records ------------------- */

static void collect_os(hl_records_t *r)
{
    hl_impl_os(&r->os);
}
static void write_os(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_os(j, &r->os);
}
static void collect_host(hl_records_t *r)
{
    hl_impl_host(&r->host);
}
static void write_host(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_host(j, &r->host);
}
static void collect_kernel(hl_records_t *r)
{
    hl_impl_kernel(&r->kernel);
}
static void write_kernel(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_kernel(j, &r->kernel);
}
static void collect_uptime(hl_records_t *r)
{
    hl_impl_uptime(&r->uptime);
}
static void write_uptime(hl_json_t *j, const hl_records_t *r, hl_form_t form)
{
    hl_write_uptime(j, &r->uptime, form);
}
static void write_boot_time(hl_json_t *j, const hl_records_t *r, hl_form_t form)
{
    hl_write_boot_time(j, &r->uptime, form);
}
static void collect_packages(hl_records_t *r)
{
    hl_impl_packages(&r->packages);
}
static void write_packages(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_packages(j, &r->packages);
}
static void collect_shell(hl_records_t *r)
{
    hl_impl_shell(&r->shell);
}
static void write_shell(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_shell(j, &r->shell);
}
static void collect_resolution(hl_records_t *r)
{
    hl_impl_resolution(&r->resolution);
}
static void write_resolution(hl_json_t *j, const hl_records_t *r, hl_form_t form)
{
    hl_write_resolution(j, &r->resolution, form);
}
static void collect_de(hl_records_t *r)
{
    hl_impl_de(&r->de);
}
static void write_de(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_name(j, &r->de);
}
static void collect_wm(hl_records_t *r)
{
    hl_impl_wm(&r->wm);
}
static void write_wm(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_name(j, &r->wm);
}
static void collect_terminal(hl_records_t *r)
{
    hl_impl_terminal(&r->terminal);
}
static void write_terminal(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_terminal(j, &r->terminal);
}
static void collect_terminal_font(hl_records_t *r)
{
    hl_impl_terminal_font(&r->terminal_font);
}
static void write_terminal_font(hl_json_t *j, const hl_records_t *r, hl_form_t form)
{
    hl_write_terminal_font(j, &r->terminal_font, form);
}
static void open_cpu(hl_records_t *r)
{
    hl_impl_cpu_open(&r->cpu, &r->cpu_window);
}
static void collect_cpu(hl_records_t *r)
{
    hl_impl_cpu_describe(&r->cpu);
}
static void close_cpu(hl_records_t *r)
{
    hl_impl_cpu_close(&r->cpu, &r->cpu_window);
}
static void write_cpu(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_cpu(j, &r->cpu);
}
static void collect_cpu_temp(hl_records_t *r)
{
    hl_impl_cpu_temp(&r->cpu_temp);
}
static void write_cpu_temp(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_cpu_temp(j, r->cpu_temp);
}
static void collect_gpu(hl_records_t *r)
{
    hl_impl_gpu(&r->gpu);
}
static void write_gpu(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_gpu(j, &r->gpu);
}
static void collect_memory(hl_records_t *r)
{
    hl_impl_memory(&r->memory);
}
static void write_memory(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_memory(j, &r->memory);
}
static void collect_swap(hl_records_t *r)
{
    hl_impl_swap(&r->swap);
}
static void write_swap(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_swap(j, &r->swap);
}
static void collect_battery(hl_records_t *r)
{
    hl_impl_battery(&r->battery);
}
static void write_battery(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_battery(j, &r->battery);
}
static void collect_disk(hl_records_t *r)
{
    hl_impl_disk(&r->disk);
}
static void write_disk(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_disk(j, &r->disk);
}
static void collect_network(hl_records_t *r)
{
    hl_impl_network(&r->network);
}
static void write_network(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_network(j, &r->network);
}
static void collect_public_ip(hl_records_t *r)
{
    hl_impl_public_ip(&r->public_ip);
}
static void write_public_ip(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_public_ip(j, &r->public_ip);
}
static void collect_locale(hl_records_t *r)
{
    hl_impl_locale(&r->locale);
}
static void write_locale(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_locale(j, &r->locale);
}
static void collect_user(hl_records_t *r)
{
    hl_impl_user(&r->user);
}
static void write_user(hl_json_t *j, const hl_records_t *r, hl_form_t form)
{
    hl_write_user(j, &r->user, form);
}
static void collect_process_count(hl_records_t *r)
{
    r->process_count = 0;
    hl_impl_process_count(&r->process_count);
}
static void write_process_count(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_process_count(j, r->process_count);
}

static void collect_cpu_times(hl_records_t *r)
{
    hl_impl_cpu_times(&r->cpu_times);
}
static void write_cpu_times(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_cpu_times(j, &r->cpu_times);
}
static void release_cpu_times(hl_records_t *r)
{
    hl_cpu_times_release(&r->cpu_times);
}
static void collect_net_io(hl_records_t *r)
{
    hl_impl_net_io(&r->net_io);
}
static void write_net_io(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_net_io(j, &r->net_io);
}
static void release_net_io(hl_records_t *r)
{
    hl_net_io_release(&r->net_io);
}
static void collect_processes(hl_records_t *r)
{
    hl_impl_processes(&r->processes);
}
static void write_processes(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_processes(j, &r->processes);
}
static void release_processes(hl_records_t *r)
{
    hl_processes_release(&r->processes);
}
static void collect_disk_io(hl_records_t *r)
{
    hl_impl_disk_io(&r->disk_io);
}
static void write_disk_io(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_disk_io(j, &r->disk_io);
}
static void release_disk_io(hl_records_t *r)
{
    hl_disk_io_free(&r->disk_io);
}
static void collect_volumes(hl_records_t *r)
{
    hl_impl_volumes(&r->volumes);
}
static void write_volumes(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_volumes(j, &r->volumes);
}
static void release_volumes(hl_records_t *r)
{
    hl_volumes_free(&r->volumes);
}
static void collect_hypervisor(hl_records_t *r)
{
    hl_impl_hypervisor(&r->hypervisor);
}
static void write_hypervisor(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_hypervisor(j, &r->hypervisor);
}
static void collect_os_release(hl_records_t *r)
{
    hl_impl_os_release(&r->os_release);
}
static void write_os_release(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_os_release(j, &r->os_release);
}
static void collect_displays(hl_records_t *r)
{
    hl_impl_displays(&r->displays);
}
static void write_displays(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_displays(j, &r->displays);
}
static void release_displays(hl_records_t *r)
{
    hl_port_free(r->displays.items);
    r->displays.items = NULL;
}
static void collect_battery_health(hl_records_t *r)
{
    hl_impl_battery_health(&r->battery_health);
}
static void write_battery_health(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_battery_health(j, &r->battery_health);
}
static void release_battery_health(hl_records_t *r)
{
    hl_port_free(r->battery_health.items);
    r->battery_health.items = NULL;
}

static void collect_cpu_info(hl_records_t *r)
{
    hl_impl_cpu_info(&r->cpu_info);
}
static void write_cpu_info(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_cpu_info(j, &r->cpu_info);
}
static void collect_display_adapters(hl_records_t *r)
{
    hl_impl_display_adapters(&r->display_adapters);
}
static void write_display_adapters(hl_json_t *j, const hl_records_t *r, hl_form_t)
{
    hl_write_display_adapters(j, &r->display_adapters);
}
static void release_display_adapters(hl_records_t *r)
{
    hl_port_free(r->display_adapters.items);
    r->display_adapters.items = NULL;
}

/* ---- the table ------------------------------------------------------------- */

static const hl_section_t OBJ = HL_SECTION_OBJECT, LIST = HL_SECTION_LIST;
/* REDUCED: the section leaves out members of the module's document. */
static const hl_form_t FULL = HL_DOCUMENT, REDUCED = HL_SECTION;

const hl_module_t hl_modules[] = {
    {"os", OBJ, collect_os, write_os, NULL, NULL, NULL, FULL, 0},
    {"host", OBJ, collect_host, write_host, NULL, NULL, NULL, FULL, 0},
    {"kernel", OBJ, collect_kernel, write_kernel, NULL, NULL, NULL, FULL, 0},
    {"uptime", OBJ, collect_uptime, write_uptime, NULL, NULL, NULL, REDUCED, 0},
    {"boot_time", OBJ, collect_uptime, write_boot_time, NULL, NULL, NULL, REDUCED, 0},
    {"packages", OBJ, collect_packages, write_packages, NULL, NULL, NULL, FULL, 0},
    {"shell", OBJ, collect_shell, write_shell, NULL, NULL, NULL, FULL, 0},
    {"resolution", OBJ, collect_resolution, write_resolution, NULL, NULL, NULL, REDUCED, 0},
    {"de", OBJ, collect_de, write_de, NULL, NULL, NULL, FULL, 0},
    {"wm", OBJ, collect_wm, write_wm, NULL, NULL, NULL, FULL, 0},
    {"terminal", OBJ, collect_terminal, write_terminal, NULL, NULL, NULL, FULL, 0},
    {"terminal_font", OBJ, collect_terminal_font, write_terminal_font, NULL, NULL, NULL, REDUCED,
     0},
    {"cpu", OBJ, collect_cpu, write_cpu, open_cpu, close_cpu, NULL, FULL, HL_MODULE_BLOCKS},
    {"cpu_temp", OBJ, collect_cpu_temp, write_cpu_temp, NULL, NULL, NULL, FULL, HL_MODULE_COM},
    {"gpu", LIST, collect_gpu, write_gpu, NULL, NULL, NULL, FULL, HL_MODULE_COM},
    {"memory", OBJ, collect_memory, write_memory, NULL, NULL, NULL, FULL, 0},
    {"swap", OBJ, collect_swap, write_swap, NULL, NULL, NULL, FULL, 0},
    {"battery", LIST, collect_battery, write_battery, NULL, NULL, NULL, FULL, HL_MODULE_COM},
    {"disk", LIST, collect_disk, write_disk, NULL, NULL, NULL, FULL, 0},
    {"network", OBJ, collect_network, write_network, NULL, NULL, NULL, FULL, 0},
    /* Without its "error" member, which only the document carries. */
    {"public_ip", OBJ, collect_public_ip, write_public_ip, NULL, NULL, NULL, REDUCED,
     HL_MODULE_BLOCKS | HL_MODULE_NETWORK},
    {"locale", OBJ, collect_locale, write_locale, NULL, NULL, NULL, FULL, 0},
    {"user", OBJ, collect_user, write_user, NULL, NULL, NULL, REDUCED, 0},
    {"process_count", OBJ, collect_process_count, write_process_count, NULL, NULL, NULL, FULL, 0},
    /* Reached only by name. */
    {"cpu_times", OBJ, collect_cpu_times, write_cpu_times, NULL, NULL, release_cpu_times, FULL,
     HL_MODULE_NAMED},
    {"net_io", LIST, collect_net_io, write_net_io, NULL, NULL, release_net_io, FULL,
     HL_MODULE_NAMED},
    {"processes", LIST, collect_processes, write_processes, NULL, NULL, release_processes, FULL,
     HL_MODULE_NAMED},
    {"disk_io", LIST, collect_disk_io, write_disk_io, NULL, NULL, release_disk_io, FULL,
     HL_MODULE_NAMED},
    {"volumes", LIST, collect_volumes, write_volumes, NULL, NULL, release_volumes, FULL,
     HL_MODULE_NAMED},
    {"hypervisor", OBJ, collect_hypervisor, write_hypervisor, NULL, NULL, NULL, FULL,
     HL_MODULE_NAMED},
    {"os_release", OBJ, collect_os_release, write_os_release, NULL, NULL, NULL, FULL,
     HL_MODULE_NAMED},
    {"displays", LIST, collect_displays, write_displays, NULL, NULL, release_displays, FULL,
     HL_MODULE_NAMED},
    {"battery_health", LIST, collect_battery_health, write_battery_health, NULL, NULL,
     release_battery_health, FULL, HL_MODULE_NAMED},
    {"cpu_info", OBJ, collect_cpu_info, write_cpu_info, NULL, NULL, NULL, FULL, HL_MODULE_NAMED},
    {"display_adapters", LIST, collect_display_adapters, write_display_adapters, NULL, NULL,
     release_display_adapters, FULL, HL_MODULE_NAMED},
};

const int hl_module_count = (int)(sizeof hl_modules / sizeof hl_modules[0]);
static_assert(sizeof hl_modules / sizeof hl_modules[0] <= HL_MODULE_MAX,
              "a module set has one bit per module");

int hl_module_find(const char *name, size_t length)
{
    for (int i = 0; i < hl_module_count; i++) {
        const char *key = hl_modules[i].key;
        size_t k = 0;
        while (k < length && key[k] != '\0' && key[k] == name[k])
            k++;
        if (k == length && key[k] == '\0')
            return i;
    }
    return -1;
}

/* ---- the pass ---------------------------------------------------------------- */

static int chosen(hl_module_set_t set, int i)
{
    return (int)((set >> i) & 1u);
}

/* An entry whose collector an earlier chosen entry has already run. */
static int collected_before(hl_module_set_t set, int i)
{
    for (int k = 0; k < i; k++)
        if (chosen(set, k) && hl_modules[k].collect == hl_modules[i].collect)
            return 1;
    return 0;
}

static void collect_where(hl_records_t *r, hl_module_set_t set, unsigned com)
{
    for (int i = 0; i < hl_module_count; i++)
        if (chosen(set, i) && (hl_modules[i].flags & HL_MODULE_COM) == com &&
            !collected_before(set, i))
            hl_modules[i].collect(r);
}

void hl_pass(hl_json_t *j, hl_module_set_t set, int *sections)
{
    hl_records_t r;
    hl_json_raw(j, "{");

    for (int i = 0; i < hl_module_count; i++)
        if (chosen(set, i) && hl_modules[i].open != NULL)
            hl_modules[i].open(&r);
    collect_where(&r, set, 0);
    /* The WMI collectors run last and together, inside one COM entry: each
     * query's own entry nests in it, so a thread outside COM does not set up
     * and tear down an apartment once per query, and the thread is an
     * apartment that pumps no messages only while they run, never while
     * another collector waits on the network. */
    int com = 0;
    for (int i = 0; i < hl_module_count; i++)
        com |= chosen(set, i) && (hl_modules[i].flags & HL_MODULE_COM);
    if (com) {
        hl_com_t entry = hl_com_enter();
        /* Their queries of one namespace share one connection: connecting
         * is much of a cold query's time. Only inside this entry: without
         * it, each query enters and leaves an apartment of its own, and a
         * connection must not outlive the apartment that made it. */
        hl_wmi_session_t session;
        if (entry != HL_COM_FAILED)
            hl_wmi_session_begin(&session);
        collect_where(&r, set, HL_MODULE_COM);
        if (entry != HL_COM_FAILED)
            hl_wmi_session_end(&session);
        hl_com_leave(entry);
    }
    for (int i = 0; i < hl_module_count; i++)
        if (chosen(set, i) && hl_modules[i].close != NULL)
            hl_modules[i].close(&r);

    int n = 0;
    for (int i = 0; i < hl_module_count; i++) {
        if (!chosen(set, i))
            continue;
        const hl_module_t *m = &hl_modules[i];
        if (n++ > 0)
            hl_json_comma(j);
        hl_json_key(j, m->key);
        hl_json_raw(j, m->section == HL_SECTION_LIST ? "[" : "{");
        m->write(j, &r, m->form);
        hl_json_raw(j, m->section == HL_SECTION_LIST ? "]" : "}");
    }
    for (int i = 0; i < hl_module_count; i++)
        if (chosen(set, i) && hl_modules[i].release != NULL && !collected_before(set, i))
            hl_modules[i].release(&r);
    *sections = n;
}
