#include "prometheus.h"

#include <math.h>
#include <stdio.h>

#include <set>
#include <vector>

#include "document.h"

using json = nlohmann::ordered_json;

const char *const prometheus_named_sections =
    "cpu_times,net_io,processes,disk_io,volumes,hypervisor,os_release,battery_health";

namespace
{

enum family_id {
    F_OS_INFO,
    F_HYPERVISOR_INFO,
    F_KERNEL_INFO,
    F_HOST_INFO,
    F_BOOT_TIME,
    F_UPTIME,
    F_CPU_INFO,
    F_CPU_PHYSICAL,
    F_CPU_LOGICAL,
    F_CPU_USAGE,
    F_CPU_CORE_USAGE,
    F_CPU_TIME,
    F_CPU_TEMP,
    F_GPU_INFO,
    F_MEM_TOTAL,
    F_MEM_AVAILABLE,
    F_MEM_USED,
    F_COMMIT_LIMIT,
    F_COMMIT_CHARGE,
    F_BATTERY_CHARGE,
    F_BATTERY_PLUGGED,
    F_LOGICAL_DISK_SIZE,
    F_LOGICAL_DISK_FREE,
    F_PHYSICAL_DISK_READ_BYTES,
    F_PHYSICAL_DISK_WRITE_BYTES,
    F_PHYSICAL_DISK_READS,
    F_PHYSICAL_DISK_WRITES,
    F_PHYSICAL_DISK_READ_SECONDS,
    F_PHYSICAL_DISK_WRITE_SECONDS,
    F_PHYSICAL_DISK_IDLE_SECONDS,
    F_PHYSICAL_DISK_SPLIT_IOS,
    F_PHYSICAL_DISK_QUEUED,
    F_POWER_ENERGY_FULL_DESIGN,
    F_POWER_ENERGY_FULL,
    F_POWER_CYCLES,
    F_POWER_WATT,
    F_NET_UP,
    F_NET_RX_BYTES,
    F_NET_TX_BYTES,
    F_NET_RX_PACKETS,
    F_NET_TX_PACKETS,
    F_NET_RX_ERRORS,
    F_NET_RX_DISCARDS,
    F_NET_RX_UNKNOWN,
    F_NET_TX_ERRORS,
    F_NET_TX_DISCARDS,
    F_NET_BANDWIDTH,
    F_PROCESSES,
    F_THREADS,
    F_COUNT
};

struct family {
    const char *name;
    const char *help;
};

/* Every metric, in the order written. A name that ends in _total is a
 * counter (its value only grows, until the machine restarts); every other
 * one is a gauge. The counters are the platform's own cumulative figures,
 * named as windows_exporter names them with hostlens_ in place of windows_,
 * so that rate() over them and a dashboard built for one serve the other. */
const family families[F_COUNT] = {
    {"hostlens_os_info", "Operating system, as labels (windows_exporter's windows_os_info)."},
    {"hostlens_hypervisor_info", "Hypervisor the system runs under, as labels; absent on bare "
                                 "metal."},
    {"hostlens_kernel_info", "Kernel, as labels."},
    {"hostlens_host_info", "Machine and firmware from SMBIOS, as labels."},
    {"hostlens_system_boot_time_timestamp_seconds",
     "Time of the last boot, in seconds since the Unix epoch."},
    {"hostlens_uptime_seconds", "Seconds since the last boot."},
    {"hostlens_cpu_info", "Processor model, as labels."},
    {"hostlens_cpu_physical_cores", "Physical processor cores."},
    {"hostlens_cpu_logical_processor", "Logical processors."},
    {"hostlens_cpu_usage_ratio", "Share of processor time not idle over the sampling window."},
    {"hostlens_cpu_core_usage_ratio", "Share of time not idle of one logical processor."},
    {"hostlens_cpu_time_total",
     "Seconds each logical processor spent in each mode since boot (privileged includes "
     "interrupt and dpc)."},
    {"hostlens_cpu_temperature_celsius", "Hottest thermal zone reading."},
    {"hostlens_gpu_info", "Display adapter, as labels."},
    {"hostlens_memory_physical_total_bytes",
     "Physical memory visible to the system, in whole MiB."},
    {"hostlens_memory_available_bytes", "Physical memory available for use, in whole MiB."},
    {"hostlens_memory_used_bytes", "Physical memory in use, in whole MiB."},
    {"hostlens_memory_commit_limit",
     "Commit limit: the most memory, in bytes (whole MiB), the system can commit, physical memory "
     "and page files."},
    {"hostlens_memory_committed_bytes",
     "Commit charge: memory committed by all processes, in whole MiB."},
    {"hostlens_battery_charge_ratio", "Estimated charge remaining of a battery."},
    {"hostlens_battery_power_plugged", "1 when the machine runs on external power, 0 on battery."},
    {"hostlens_logical_disk_size_bytes", "Size of a volume, bytes."},
    {"hostlens_logical_disk_free_bytes", "Free space of a volume, bytes."},
    {"hostlens_physical_disk_read_bytes_total", "Bytes read from a disk."},
    {"hostlens_physical_disk_write_bytes_total", "Bytes written to a disk."},
    {"hostlens_physical_disk_reads_total", "Read operations of a disk (a 32-bit count)."},
    {"hostlens_physical_disk_writes_total", "Write operations of a disk (a 32-bit count)."},
    {"hostlens_physical_disk_read_seconds_total", "Seconds a disk spent on reads."},
    {"hostlens_physical_disk_write_seconds_total", "Seconds a disk spent on writes."},
    {"hostlens_physical_disk_idle_seconds_total", "Seconds a disk was idle."},
    {"hostlens_physical_disk_split_ios_total",
     "Requests to a disk that were split into several (a 32-bit count)."},
    {"hostlens_physical_disk_requests_queued", "Requests queued to a disk."},
    /* node_exporter's power_supply names and units: energy in watt-hours,
     * power in watts (negative while discharging, as the battery reports
     * it), cycles as a count. */
    {"hostlens_power_supply_energy_full_design", "Design capacity of a battery, in watt-hours."},
    {"hostlens_power_supply_energy_full", "Full-charge capacity of a battery now, in watt-hours."},
    {"hostlens_power_supply_cyclecount", "Charge and discharge cycles of a battery."},
    {"hostlens_power_supply_power_watt",
     "Rate of charge (positive) or discharge (negative) of a battery, in watts."},
    {"hostlens_network_up", "1 when a network interface is up, 0 when it is down."},
    {"hostlens_net_bytes_received_total", "Bytes received on an interface."},
    {"hostlens_net_bytes_sent_total", "Bytes sent on an interface."},
    {"hostlens_net_packets_received_total", "Packets received on an interface."},
    {"hostlens_net_packets_sent_total", "Packets sent on an interface."},
    {"hostlens_net_packets_received_errors_total",
     "Received packets that held errors and were not delivered."},
    {"hostlens_net_packets_received_discarded_total",
     "Received packets discarded without an error, such as for want of buffer space."},
    {"hostlens_net_packets_received_unknown_total",
     "Received packets of an unknown or unsupported protocol."},
    {"hostlens_net_packets_outbound_errors_total", "Packets that could not be sent for errors."},
    {"hostlens_net_packets_outbound_discarded_total",
     "Packets to send discarded without an error."},
    {"hostlens_net_current_bandwidth_bytes",
     "Receive link speed of an interface, in bytes per second."},
    {"hostlens_system_processes", "Processes on the system."},
    {"hostlens_system_threads", "Threads of all processes on the system."},
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

/* A whole number member as text, or "" when missing or "unknown". */
std::string number_text(const json &obj, const char *key)
{
    double v;
    if (!number(obj, key, &v) || v < 0 || v != floor(v) || v > 9.0e15)
        return "";
    char buf[32];
    snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
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

/* One sample of a value already in the format's text; labels with an empty
 * value are left out, and a series already written (two adapters of one
 * name) is not written twice. */
void sample_text(writer &w, family_id f, const std::vector<label> &labels, const std::string &v)
{
    std::string series = families[f].name;
    std::string set;
    for (const label &l : labels)
        if (!l.value.empty())
            set += (set.empty() ? "" : ",") + std::string(l.name) + "=\"" + escaped(l.value) + "\"";
    if (!set.empty())
        series += "{" + set + "}";
    if (!w.seen.insert(series).second)
        return;
    w.samples[f].push_back(series + " " + v);
}

void sample(writer &w, family_id f, std::vector<label> labels, double v)
{
    if (isfinite(v))
        sample_text(w, f, labels, format_value(v));
}

/* A counter's value exactly as the document has it: a whole number digit
 * for digit, a fraction (the documents write seconds to 100 ns, seven
 * decimals) in fixed notation without trailing zeros. False when the member
 * is no number, or negative. */
bool counter_text(const json &obj, const char *key, std::string *out)
{
    if (!obj.is_object())
        return false;
    auto it = obj.find(key);
    if (it == obj.end())
        return false;
    if (it->is_number_unsigned()) {
        *out = std::to_string(it->get<uint64_t>());
        return true;
    }
    if (!it->is_number_float())
        return false;
    double v = it->get<double>();
    if (!isfinite(v) || v < 0)
        return false;
    char buf[400];
    snprintf(buf, sizeof buf, "%.7f", v);
    std::string s = buf;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    *out = s;
    return true;
}

void counter(writer &w, family_id f, const std::vector<label> &labels, const json &obj,
             const char *key)
{
    std::string v;
    if (counter_text(obj, key, &v))
        sample_text(w, f, labels, v);
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
    /* windows_exporter's labels: the product as the release calls itself,
     * "10.0.22631", the build and its update revision apart. */
    const json &os = section(doc, "os");
    const json &release = section(doc, "os_release");
    std::string product = text(release, "product");
    std::string build = number_text(release, "build");
    if (product.empty())
        product = text(os, "name");
    if (build.empty())
        build = text(os, "build_id");
    std::string version = text(os, "version");
    info(w, F_OS_INFO,
         {{"product", product},
          {"version", version.empty() || build.empty() ? version : version + "." + build},
          {"build_number", build},
          {"revision", number_text(release, "ubr")},
          {"installation_type", text(release, "installation_type")},
          {"display_version", text(release, "display_version")}});
    /* One series when a hypervisor is present: whether the system is its
     * guest is a label, so that Hyper-V's root partition is told apart. */
    const json &hv = section(doc, "hypervisor");
    double present, guest;
    if (number(hv, "present", &present) && present == 1 && number(hv, "guest", &guest))
        sample(w, F_HYPERVISOR_INFO,
               {{"vendor", text(hv, "vendor")},
                {"name", text(hv, "name")},
                {"guest", guest == 1 ? "1" : "0"}},
               1);
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
    /* The process list when there is one, with its threads; a running
     * system has at least this process, so an empty list or a count of 0
     * means the query failed. */
    const json &processes = section(doc, "processes");
    if (processes.is_array() && !processes.empty()) {
        double threads = 0;
        bool all = true;
        for (const json &p : processes) {
            double n;
            if (number(p, "threads", &n))
                threads += n;
            else
                all = false;
        }
        sample(w, F_PROCESSES, {}, (double)processes.size());
        if (all)
            sample(w, F_THREADS, {}, threads);
    } else if (number(section(doc, "process_count"), "total", &v) && v > 0) {
        sample(w, F_PROCESSES, {}, v);
    }
}

void cpu_metrics(writer &w, const json &doc, const json &core_labels)
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
    const json &times = section(doc, "cpu_times");
    const json &per_core = times.is_object() && times.contains("cores") ? times["cores"] : json();
    const json &labels = per_core.is_array() ? per_core
                         : core_labels.is_object() && core_labels.contains("cores")
                             ? core_labels["cores"]
                             : json();
    /* Element i is logical processor i, counted over the groups in order, as
     * the times list them (the usage stops at 128 processors, the times do
     * not); -1.0 marks one without a value. Labelled "group,index" as the
     * processor times are, so that the two join on "core", wherever the
     * times list that processor; else by its number. */
    for (size_t i = 0; cores.is_array() && i < cores.size(); i++) {
        std::string core = labels.is_array() && i < labels.size() ? text(labels[i], "core") : "";
        if (cores[i].is_number() && cores[i].get<double>() >= 0)
            sample(w, F_CPU_CORE_USAGE, {{"core", core.empty() ? std::to_string(i) : core}},
                   cores[i].get<double>() / 100.0);
    }
    static const char *const modes[][2] = {{"user", "user_s"},
                                           {"privileged", "privileged_s"},
                                           {"idle", "idle_s"},
                                           {"interrupt", "interrupt_s"},
                                           {"dpc", "dpc_s"}};
    for (size_t i = 0; per_core.is_array() && i < per_core.size(); i++) {
        std::string core = text(per_core[i], "core");
        if (core.empty())
            continue;
        for (const auto &m : modes)
            counter(w, F_CPU_TIME, {{"core", core}, {"mode", m[0]}}, per_core[i], m[1]);
    }
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

/* Volumes by their drive, "C:" as windows_exporter's logical_disk labels
 * them, in exact bytes; physical disks by their number. */
void disk_metrics(writer &w, const json &doc)
{
    std::string v;
    for (const json &vol : section(doc, "volumes")) {
        std::string volume = text(vol, "mount");
        if (!volume.empty() && volume.back() == '\\')
            volume.pop_back();
        if (volume.empty())
            continue;
        if (counter_text(vol, "total_bytes", &v))
            sample_text(w, F_LOGICAL_DISK_SIZE, {{"volume", volume}}, v);
        if (counter_text(vol, "free_bytes", &v))
            sample_text(w, F_LOGICAL_DISK_FREE, {{"volume", volume}}, v);
    }
    static const struct {
        family_id f;
        const char *member;
    } counters[] = {
        {F_PHYSICAL_DISK_READ_BYTES, "read_bytes"}, {F_PHYSICAL_DISK_WRITE_BYTES, "write_bytes"},
        {F_PHYSICAL_DISK_READS, "reads"},           {F_PHYSICAL_DISK_WRITES, "writes"},
        {F_PHYSICAL_DISK_READ_SECONDS, "read_s"},   {F_PHYSICAL_DISK_WRITE_SECONDS, "write_s"},
        {F_PHYSICAL_DISK_IDLE_SECONDS, "idle_s"},   {F_PHYSICAL_DISK_SPLIT_IOS, "split_ios"},
        {F_PHYSICAL_DISK_QUEUED, "queue_depth"},
    };
    for (const json &d : section(doc, "disk_io")) {
        std::string disk;
        if (!counter_text(d, "disk", &disk))
            continue;
        for (const auto &c : counters)
            counter(w, c.f, {{"disk", disk}}, d, c.member);
    }
}

/* windows_exporter's nic is the interface's instance name in the Network
 * Interface counters: the description (which Windows already numbers, "#2",
 * for a second adapter of a kind) with ( ) as [ ] and # / \ as _. Two
 * interfaces of one description keep apart by the alias, which is unique. */
std::string nic_label(const json &i, const std::set<std::string> &taken)
{
    std::string nic;
    for (char c : text(i, "description")) {
        if (c == '(')
            c = '[';
        else if (c == ')')
            c = ']';
        else if (c == '#' || c == '/' || c == '\\')
            c = '_';
        nic += c;
    }
    if (nic.empty() || taken.count(nic) != 0)
        nic = text(i, "name");
    return nic;
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
    disk_metrics(w, doc);
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
    const json &net = section(doc, "network");
    const json &ifs = net.is_object() && net.contains("interfaces") ? net["interfaces"] : json();
    for (const json &i : ifs) {
        double up;
        std::string name = text(i, "name");
        if (!name.empty() && number(i, "is_up", &up) && (up == 0 || up == 1))
            sample(w, F_NET_UP, {{"interface", name}, {"mac", text(i, "mac")}}, up);
    }
    /* A filter interface repeats the traffic of the interface beneath it:
     * summed with it, it would count that traffic twice. */
    std::set<std::string> nics;
    for (const json &i : section(doc, "net_io")) {
        std::string nic = nic_label(i, nics);
        double filter;
        if (nic.empty() || !number(i, "filter", &filter) || filter != 0)
            continue;
        nics.insert(nic);
        std::vector<label> labels = {{"nic", nic}};
        counter(w, F_NET_RX_BYTES, labels, i, "rx_bytes");
        counter(w, F_NET_TX_BYTES, labels, i, "tx_bytes");
        counter(w, F_NET_RX_PACKETS, labels, i, "rx_packets");
        counter(w, F_NET_TX_PACKETS, labels, i, "tx_packets");
        counter(w, F_NET_RX_ERRORS, labels, i, "rx_errors");
        counter(w, F_NET_RX_DISCARDS, labels, i, "rx_discards");
        counter(w, F_NET_RX_UNKNOWN, labels, i, "rx_unknown");
        counter(w, F_NET_TX_ERRORS, labels, i, "tx_errors");
        counter(w, F_NET_TX_DISCARDS, labels, i, "tx_discards");
        double bps;
        if (number(i, "rx_speed_bps", &bps) && bps >= 0)
            sample(w, F_NET_BANDWIDTH, labels, bps / 8.0);
    }
}

} // namespace

bool prometheus_reads(const std::string &key)
{
    static const std::set<std::string> read = {"os",
                                               "host",
                                               "kernel",
                                               "uptime",
                                               "boot_time",
                                               "cpu",
                                               "cpu_temp",
                                               "gpu",
                                               "memory",
                                               "swap",
                                               "battery",
                                               "network",
                                               "process_count",
                                               "cpu_times",
                                               "net_io",
                                               "processes",
                                               "disk_io",
                                               "volumes",
                                               "hypervisor",
                                               "os_release",
                                               "battery_health"};
    return read.count(key) != 0;
}

std::string prometheus_text(const json &doc, const json &core_labels)
{
    writer w;
    system_metrics(w, doc);
    cpu_metrics(w, doc, core_labels);
    memory_metrics(w, doc);
    device_metrics(w, doc);
    std::string out;
    for (int f = 0; f < F_COUNT; f++) {
        if (w.samples[f].empty())
            continue;
        out += std::string("# HELP ") + families[f].name + " " + families[f].help + "\n";
        std::string name = families[f].name;
        bool counter = name.size() > 6 && name.compare(name.size() - 6, 6, "_total") == 0;
        out += "# TYPE " + name + (counter ? " counter\n" : " gauge\n");
        for (const std::string &s : w.samples[f])
            out += s + "\n";
    }
    return out;
}
