#include "prometheus.h"

#include <math.h>
#include <stdio.h>

#include <set>
#include <vector>

#include "document.h"

using json = nlohmann::ordered_json;

namespace
{

enum family_id {
    F_OS_INFO,
    F_KERNEL_INFO,
    F_HOST_INFO,
    F_BOOT_TIME,
    F_UPTIME,
    F_CPU_INFO,
    F_CPU_PHYSICAL,
    F_CPU_LOGICAL,
    F_CPU_USAGE,
    F_CPU_CORE_USAGE,
    F_CPU_TEMP,
    F_GPU_INFO,
    F_MEM_TOTAL,
    F_MEM_AVAILABLE,
    F_MEM_USED,
    F_COMMIT_LIMIT,
    F_COMMIT_CHARGE,
    F_BATTERY_CHARGE,
    F_BATTERY_PLUGGED,
    F_POWER_ENERGY_FULL_DESIGN,
    F_POWER_ENERGY_FULL,
    F_POWER_CYCLES,
    F_POWER_WATT,
    F_DISK_SIZE,
    F_DISK_USED,
    F_NET_UP,
    F_PROCESSES,
    F_COUNT
};

struct family {
    const char *name;
    const char *help;
};

/* Every metric, in the order written. All are gauges: a counter would need
 * a value that only grows, and nothing here does. */
const family families[F_COUNT] = {
    {"hostlens_os_info", "Operating system, as labels."},
    {"hostlens_kernel_info", "Kernel, as labels."},
    {"hostlens_host_info", "Machine and firmware from SMBIOS, as labels."},
    {"hostlens_boot_time_seconds", "Time of the last boot, in seconds since the Unix epoch."},
    {"hostlens_uptime_seconds", "Seconds since the last boot."},
    {"hostlens_cpu_info", "Processor model, as labels."},
    {"hostlens_cpu_physical_cores", "Physical processor cores."},
    {"hostlens_cpu_logical_cores", "Logical processors."},
    {"hostlens_cpu_usage_ratio", "Share of processor time not idle over the sampling window."},
    {"hostlens_cpu_core_usage_ratio", "Share of time not idle of one logical processor."},
    {"hostlens_cpu_temperature_celsius", "Hottest thermal zone reading."},
    {"hostlens_gpu_info", "Display adapter, as labels."},
    {"hostlens_memory_total_bytes", "Physical memory visible to the system."},
    {"hostlens_memory_available_bytes", "Physical memory available for use."},
    {"hostlens_memory_used_bytes", "Physical memory in use."},
    {"hostlens_commit_limit_bytes",
     "Commit limit: the most memory the system can commit, physical memory and page files."},
    {"hostlens_commit_charge_bytes", "Commit charge: memory committed by all processes."},
    {"hostlens_battery_charge_ratio", "Estimated charge remaining of a battery."},
    {"hostlens_battery_power_plugged", "1 when the machine runs on external power, 0 on battery."},
    /* node_exporter's power_supply names and units: energy in watt-hours,
     * power in watts (negative while discharging, as the battery reports
     * it), cycles as a count. */
    {"hostlens_power_supply_energy_full_design", "Design capacity of a battery, in watt-hours."},
    {"hostlens_power_supply_energy_full", "Full-charge capacity of a battery now, in watt-hours."},
    {"hostlens_power_supply_cyclecount", "Charge and discharge cycles of a battery."},
    {"hostlens_power_supply_power_watt",
     "Rate of charge (positive) or discharge (negative) of a battery, in watts."},
    {"hostlens_disk_size_bytes", "Size of a volume."},
    {"hostlens_disk_used_bytes", "Used space of a volume."},
    {"hostlens_network_up", "1 when a network interface is up, 0 when it is down."},
    {"hostlens_processes", "Processes on the system."},
};

struct label {
    const char *name;
    std::string value;
};

struct writer {
    std::vector<std::string> samples[F_COUNT];
    std::set<std::string> seen;
};

/* A text member, or "" when missing or "unknown". */
std::string text(const json &obj, const char *key)
{
    if (!obj.is_object())
        return "";
    auto it = obj.find(key);
    if (it == obj.end() || !it->is_string() || *it == "unknown")
        return "";
    return it->get<std::string>();
}

/* A numeric member; false when missing, "unknown", null or not finite. */
bool number(const json &obj, const char *key, double *out)
{
    if (!obj.is_object())
        return false;
    auto it = obj.find(key);
    if (it == obj.end() || !it->is_number())
        return false;
    *out = it->get<double>();
    return isfinite(*out) != 0;
}

/* Label values escape the backslash, the double quote and the line feed;
 * everything else passes as UTF-8. */
std::string escaped(const std::string &s)
{
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string format_value(double v)
{
    char buf[64];
    if (v == floor(v) && fabs(v) < 9.0e15)
        snprintf(buf, sizeof buf, "%.0f", v);
    else
        snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

/* One sample; labels with an empty value are left out, and a series already
 * written (two adapters of one name) is not written twice. */
void sample(writer &w, family_id f, std::vector<label> labels, double v)
{
    if (!isfinite(v))
        return;
    std::string series = families[f].name;
    std::string set;
    for (const label &l : labels)
        if (!l.value.empty())
            set += (set.empty() ? "" : ",") + std::string(l.name) + "=\"" + escaped(l.value) + "\"";
    if (!set.empty())
        series += "{" + set + "}";
    if (!w.seen.insert(series).second)
        return;
    w.samples[f].push_back(series + " " + format_value(v));
}

/* An info metric: value 1 and the known texts as labels; nothing when no
 * text is known. */
void info(writer &w, family_id f, const std::vector<label> &labels)
{
    for (const label &l : labels)
        if (!l.value.empty()) {
            sample(w, f, labels, 1);
            return;
        }
}

void mebibytes(writer &w, family_id f, const json &obj, const char *key)
{
    double mb;
    if (number(obj, key, &mb) && mb >= 0)
        sample(w, f, {}, mb * 1048576.0);
}

/* Days since 1970-01-01 of a civil date (proleptic Gregorian). */
long long days_from_civil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = (unsigned)(y - era * 400);
    unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

/* "YYYY-MM-DDTHH:MM:SSZ" as Unix seconds. */
bool parse_utc(const std::string &s, double *out)
{
    int y, mo, d, h, mi, sec;
    char z;
    if (s.size() != 20 ||
        sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &sec, &z) != 7 ||
        z != 'Z' || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60)
        return false;
    *out =
        (double)(days_from_civil(y, (unsigned)mo, (unsigned)d) * 86400 + h * 3600 + mi * 60 + sec);
    return true;
}

void system_metrics(writer &w, const json &doc)
{
    const json &os = section(doc, "os");
    info(w, F_OS_INFO,
         {{"name", text(os, "name")},
          {"version", text(os, "version")},
          {"build", text(os, "build_id")},
          {"codename", text(os, "codename")}});
    const json &kernel = section(doc, "kernel");
    info(w, F_KERNEL_INFO,
         {{"name", text(kernel, "name")},
          {"release", text(kernel, "release")},
          {"version", text(kernel, "version")},
          {"architecture", text(kernel, "architecture")}});
    const json &host = section(doc, "host");
    info(w, F_HOST_INFO,
         {{"manufacturer", text(host, "manufacturer")},
          {"model", text(host, "model")},
          {"board_vendor", text(host, "board_vendor")},
          {"board_model", text(host, "board_model")},
          {"bios_vendor", text(host, "bios_vendor")},
          {"bios_version", text(host, "bios_version")}});

    double v;
    std::string boot = text(section(doc, "boot_time"), "iso");
    if (boot.empty())
        boot = text(section(doc, "uptime"), "boot_time_iso");
    if (parse_utc(boot, &v))
        sample(w, F_BOOT_TIME, {}, v);
    if (number(section(doc, "uptime"), "total_seconds", &v) && v >= 0)
        sample(w, F_UPTIME, {}, v);
    /* A running system has at least this process: 0 means the count failed. */
    if (number(section(doc, "process_count"), "total", &v) && v > 0)
        sample(w, F_PROCESSES, {}, v);
}

void cpu_metrics(writer &w, const json &doc)
{
    const json &cpu = section(doc, "cpu");
    info(w, F_CPU_INFO, {{"model", text(cpu, "model")}});
    double v;
    if (number(cpu, "physical_cores", &v) && v > 0)
        sample(w, F_CPU_PHYSICAL, {}, v);
    if (number(cpu, "logical_cores", &v) && v > 0)
        sample(w, F_CPU_LOGICAL, {}, v);
    if (number(cpu, "usage_percent", &v) && v >= 0)
        sample(w, F_CPU_USAGE, {}, v / 100.0);
    const json &cores =
        cpu.is_object() && cpu.contains("per_core_percent") ? cpu["per_core_percent"] : json();
    if (cores.is_array())
        for (size_t i = 0; i < cores.size(); i++)
            if (cores[i].is_number())
                sample(w, F_CPU_CORE_USAGE, {{"core", std::to_string(i)}},
                       cores[i].get<double>() / 100.0);
    /* -1.0 is the document's "no reading". */
    if (number(section(doc, "cpu_temp"), "celsius", &v) && v >= 0)
        sample(w, F_CPU_TEMP, {}, v);
    const json &gpus = section(doc, "gpu");
    for (size_t i = 0; gpus.is_array() && i < gpus.size(); i++)
        info(w, F_GPU_INFO,
             {{"gpu", std::to_string(i)},
              {"vendor", text(gpus[i], "vendor")},
              {"model", text(gpus[i], "model")},
              {"driver_version", text(gpus[i], "driver_version")}});
}

void memory_metrics(writer &w, const json &doc)
{
    const json &mem = section(doc, "memory");
    mebibytes(w, F_MEM_TOTAL, mem, "total_mb");
    mebibytes(w, F_MEM_AVAILABLE, mem, "available_mb");
    mebibytes(w, F_MEM_USED, mem, "used_mb");
    /* The swap section is the commit charge and limit; a failed query
     * leaves it all zero, and no system has a commit limit of 0. */
    const json &swap = section(doc, "swap");
    double limit;
    if (number(swap, "total_mb", &limit) && limit > 0) {
        mebibytes(w, F_COMMIT_LIMIT, swap, "total_mb");
        mebibytes(w, F_COMMIT_CHARGE, swap, "used_mb");
    }
}

void device_metrics(writer &w, const json &doc)
{
    const json &batteries = section(doc, "battery");
    for (size_t i = 0; batteries.is_array() && i < batteries.size(); i++) {
        const json &b = batteries[i];
        std::vector<label> labels = {{"battery", std::to_string(i)}, {"model", text(b, "model")}};
        double v;
        if (number(b, "percent", &v) && v >= 0)
            sample(w, F_BATTERY_CHARGE, labels, v / 100.0);
        if (number(b, "power_plugged", &v) && v >= 0)
            sample(w, F_BATTERY_PLUGGED, labels, v);
    }
    /* Named after node_exporter's power_supply="BAT0". */
    const json &health = section(doc, "battery_health");
    for (size_t i = 0; health.is_array() && i < health.size(); i++) {
        const json &b = health[i];
        std::vector<label> labels = {{"power_supply", "BAT" + std::to_string(i)},
                                     {"model", text(b, "name")}};
        double v;
        if (number(b, "design_capacity_mwh", &v) && v > 0)
            sample(w, F_POWER_ENERGY_FULL_DESIGN, labels, v / 1000.0);
        if (number(b, "full_charge_capacity_mwh", &v) && v > 0)
            sample(w, F_POWER_ENERGY_FULL, labels, v / 1000.0);
        if (number(b, "cycle_count", &v) && v >= 0)
            sample(w, F_POWER_CYCLES, labels, v);
        if (number(b, "rate_mw", &v))
            sample(w, F_POWER_WATT, labels, v / 1000.0);
    }
    /* A volume whose space query failed has no percent, and sizes of 0. */
    for (const json &d : section(doc, "disk")) {
        double pct, size, used;
        std::string mount = text(d, "mount_point");
        if (mount.empty() || !number(d, "percent", &pct) || !number(d, "size_gb", &size) ||
            !number(d, "used_gb", &used))
            continue;
        sample(w, F_DISK_SIZE, {{"mount", mount}}, round(size * 1073741824.0));
        sample(w, F_DISK_USED, {{"mount", mount}}, round(used * 1073741824.0));
    }
    const json &net = section(doc, "network");
    const json &ifs = net.is_object() && net.contains("interfaces") ? net["interfaces"] : json();
    for (const json &i : ifs) {
        double up;
        std::string name = text(i, "name");
        if (!name.empty() && number(i, "is_up", &up) && (up == 0 || up == 1))
            sample(w, F_NET_UP, {{"interface", name}, {"mac", text(i, "mac")}}, up);
    }
}

} // namespace

const char *const prometheus_named_sections = "battery_health";

std::string prometheus_text(const json &doc)
{
    writer w;
    system_metrics(w, doc);
    cpu_metrics(w, doc);
    memory_metrics(w, doc);
    device_metrics(w, doc);
    std::string out;
    for (int f = 0; f < F_COUNT; f++) {
        if (w.samples[f].empty())
            continue;
        out += std::string("# HELP ") + families[f].name + " " + families[f].help + "\n";
        out += std::string("# TYPE ") + families[f].name + " gauge\n";
        for (const std::string &s : w.samples[f])
            out += s + "\n";
    }
    return out;
}
