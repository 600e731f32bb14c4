#include "modules.h"

#include <string.h>

#include "hostlens.h"

const module_entry modules[] = {
    {"os", "os", hostlens_os},
    {"host", "host", hostlens_host},
    {"kernel", "kernel", hostlens_kernel},
    {"uptime", "uptime", hostlens_uptime},
    {"boot_time", "boot_time", hostlens_boot_time},
    {"packages", "packages", hostlens_packages},
    {"shell", "shell", hostlens_shell},
    {"resolution", "resolution", hostlens_resolution},
    {"desktop_environment", "de", hostlens_desktop_environment},
    {"window_manager", "wm", hostlens_window_manager},
    {"terminal", "terminal", hostlens_terminal},
    {"terminal_font", "terminal_font", hostlens_terminal_font},
    {"cpu", "cpu", hostlens_cpu},
    {"cpu_temp", "cpu_temp", hostlens_cpu_temp},
    {"gpu", "gpu", hostlens_gpu},
    {"memory", "memory", hostlens_memory},
    {"swap", "swap", hostlens_swap},
    {"battery", "battery", hostlens_battery},
    {"disk", "disk", hostlens_disk},
    {"network", "network", hostlens_network},
    {"public_ip", "public_ip", hostlens_public_ip},
    {"locale", "locale", hostlens_locale},
    {"user", "user", hostlens_user},
    {"process_count", "process_count", hostlens_process_count},
    {"cpu_times", "cpu_times", nullptr},
    {"net_io", "net_io", nullptr},
    {"processes", "processes", nullptr},
    {"disk_io", "disk_io", nullptr},
    {"volumes", "volumes", nullptr},
    {"hypervisor", "hypervisor", nullptr},
    {"os_release", "os_release", nullptr},
    {"displays", "displays", nullptr},
    {"battery_health", "battery_health", nullptr},
    {"cpu_info", "cpu_info", nullptr},
    {"display_adapters", "display_adapters", nullptr},
};

const int module_count = (int)(sizeof modules / sizeof modules[0]);

const module_entry *find_module(const char *name)
{
    for (int i = 0; i < module_count; i++)
        if (strcmp(modules[i].name, name) == 0 || strcmp(modules[i].key, name) == 0)
            return &modules[i];
    return nullptr;
}

const char *module_document(const module_entry *m)
{
    return m->fn != nullptr ? m->fn() : hostlens_collect(m->key);
}

std::string section_list(const std::vector<const module_entry *> &wanted)
{
    std::string list;
    for (const module_entry *m : wanted)
        list += (list.empty() ? "" : ",") + std::string(m->key);
    return list;
}
