/*
 * Every export of the DLL, for the suites that walk them all. A test checks
 * the table against the export list, so a new export cannot go untested.
 */
#ifndef HL_EXPORTS_TABLE_H
#define HL_EXPORTS_TABLE_H

#include <string>

#include "hostlens_internal.h"

/* EXPORT_SECTIONS: an object of several sections, whose keys in order are
 * `key`, joined with commas. EXPORT_SAMPLER: the same, in a sampler's own
 * text rather than the thread's. */
enum export_kind {
    EXPORT_OBJECT,
    EXPORT_LIST,
    EXPORT_SNAPSHOT,
    EXPORT_SECTIONS,
    EXPORT_TEXT,
    EXPORT_SAMPLER
};

struct export_entry {
    const char *name;
    const char *(*fn)(void);
    const char *key;
    export_kind kind;
};

static const char *logo_default(void)
{
    return hostlens_logo(nullptr);
}

/* The keys of the modules that come only when named, in table order,
 * joined with commas. */
static std::string named_module_keys()
{
    std::string keys;
    for (int i = HL_SNAPSHOT_MODULES; i < hl_module_count; i++)
        keys += std::string(keys.empty() ? "" : ",") + hl_modules[i].key;
    return keys;
}

/* A few modules, the blocking and the network one among them, given out of
 * order, twice, and beside a name that is none; and every module that has
 * no export of its own. */
static const char *collect_some(void)
{
    static const std::string list = named_module_keys() + ", memory,cpu,public_ip,bogus,cpu";
    return hostlens_collect(list.c_str());
}

static const std::string collect_some_keys = [] {
    std::string named = named_module_keys();
    return "cpu,memory,public_ip," + (named.empty() ? "" : named + ",") + "unknown_modules";
}();

/* A sampler opened, read twice (the second read has a previous reading to
 * take rates from) and closed: the second text, copied out before the close
 * frees it, or NULL when a read or the open ran out of memory. */
static const char *const sampler_list = "processes:3, memory,cpu,public_ip,bogus,net_io,"
                                        "disk_io,uptime,cpu";
static const char *const sampler_keys =
    "interval_s,cpu,net_io,disk_io,processes,uptime,memory,refused_modules,unknown_modules";

static const char *sampler_some(void)
{
    static thread_local std::string text;
    hostlens_sampler *s = hostlens_sampler_open();
    if (s == nullptr)
        return nullptr;
    const char *first = hostlens_sampler_read(s, sampler_list);
    const char *second = hostlens_sampler_read(s, sampler_list);
    bool ok = first != nullptr && second != nullptr;
    if (ok)
        text = second;
    hostlens_sampler_close(s);
    return ok ? text.c_str() : nullptr;
}

/* Open and close alone; and close of nothing. Text: whether it opened. */
static const char *sampler_open_close(void)
{
    hostlens_sampler *s = hostlens_sampler_open();
    hostlens_sampler_close(s);
    return s != nullptr ? "opened" : "out of memory";
}

static const char *sampler_close_null(void)
{
    hostlens_sampler_close(nullptr);
    return "";
}

static const export_entry export_table[] = {
    {"hostlens_battery", hostlens_battery, "battery", EXPORT_LIST},
    {"hostlens_boot_time", hostlens_boot_time, "boot_time", EXPORT_OBJECT},
    {"hostlens_cpu", hostlens_cpu, "cpu", EXPORT_OBJECT},
    {"hostlens_collect", collect_some, collect_some_keys.c_str(), EXPORT_SECTIONS},
    {"hostlens_cpu_temp", hostlens_cpu_temp, "cpu_temp", EXPORT_OBJECT},
    {"hostlens_desktop_environment", hostlens_desktop_environment, "de", EXPORT_OBJECT},
    {"hostlens_disk", hostlens_disk, "disk", EXPORT_LIST},
    {"hostlens_get_all", hostlens_get_all, "", EXPORT_SNAPSHOT},
    {"hostlens_gpu", hostlens_gpu, "gpu", EXPORT_LIST},
    {"hostlens_host", hostlens_host, "host", EXPORT_OBJECT},
    {"hostlens_kernel", hostlens_kernel, "kernel", EXPORT_OBJECT},
    {"hostlens_last_error", hostlens_last_error, "", EXPORT_TEXT},
    {"hostlens_locale", hostlens_locale, "locale", EXPORT_OBJECT},
    {"hostlens_logo", logo_default, "", EXPORT_TEXT},
    {"hostlens_memory", hostlens_memory, "memory", EXPORT_OBJECT},
    {"hostlens_network", hostlens_network, "network", EXPORT_OBJECT},
    {"hostlens_os", hostlens_os, "os", EXPORT_OBJECT},
    {"hostlens_packages", hostlens_packages, "packages", EXPORT_OBJECT},
    {"hostlens_process_count", hostlens_process_count, "process_count", EXPORT_OBJECT},
    {"hostlens_public_ip", hostlens_public_ip, "public_ip", EXPORT_OBJECT},
    {"hostlens_resolution", hostlens_resolution, "resolution", EXPORT_OBJECT},
    {"hostlens_sampler_close", sampler_close_null, "", EXPORT_TEXT},
    {"hostlens_sampler_open", sampler_open_close, "", EXPORT_TEXT},
    {"hostlens_sampler_read", sampler_some, sampler_keys, EXPORT_SAMPLER},
    {"hostlens_shell", hostlens_shell, "shell", EXPORT_OBJECT},
    {"hostlens_swap", hostlens_swap, "swap", EXPORT_OBJECT},
    {"hostlens_terminal", hostlens_terminal, "terminal", EXPORT_OBJECT},
    {"hostlens_terminal_font", hostlens_terminal_font, "terminal_font", EXPORT_OBJECT},
    {"hostlens_uptime", hostlens_uptime, "uptime", EXPORT_OBJECT},
    {"hostlens_user", hostlens_user, "user", EXPORT_OBJECT},
    {"hostlens_version", hostlens_version, "", EXPORT_TEXT},
    {"hostlens_window_manager", hostlens_window_manager, "wm", EXPORT_OBJECT},
};

#endif
