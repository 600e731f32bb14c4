#include "summary.h"

#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "document.h"
#include "text_width.h"

using json = nlohmann::ordered_json;

/* Nothing here waits: the CPU comes without its usage sample (usage is
 * --watch's), and the GPUs and batteries from their devices, not from WMI,
 * whose first connection in a process costs more than the rest together. */
const char *const summary_sections = "os,host,kernel,uptime,packages,shell,de,wm,"
                                     "terminal,memory,swap,disk,network,locale,user,hypervisor,"
                                     "os_release,battery_health,cpu_info,display_adapters";
/* The display sections' first call brings up the display stack, which is
 * about half the collection's time under Wine and mostly spent waiting on
 * another process: it runs beside the rest. */
const char *const summary_beside = "resolution,displays";

namespace
{

struct line {
    std::string label;
    std::string value;
};

/* A member as text, or "" when it is missing or "unknown". */
std::string text(const json &obj, const char *key)
{
    if (!obj.is_object())
        return "";
    auto it = obj.find(key);
    if (it == obj.end())
        return "";
    if (it->is_string()) {
        std::string s = it->get<std::string>();
        return s == "unknown" ? "" : s;
    }
    if (it->is_number_integer())
        return std::to_string(it->get<long long>());
    if (it->is_number()) {
        char buf[64];
        snprintf(buf, sizeof buf, "%.1f", it->get<double>());
        return buf;
    }
    return "";
}

std::string join(const std::string &a, const std::string &b, const char *sep = " ")
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return a + sep + b;
}

void add(std::vector<line> &lines, const std::string &label, const std::string &value)
{
    if (!value.empty())
        lines.push_back(line{label, value});
}

std::string used_of(const std::string &used, const std::string &total, const char *unit,
                    const std::string &percent)
{
    if (used.empty() || total.empty())
        return "";
    std::string s = used + " " + unit + " / " + total + " " + unit;
    return percent.empty() ? s : s + " (" + percent + "%)";
}

/* The model and its cores; no usage, which takes a sampling window. */
void cpu_line(std::vector<line> &lines, const json &cpu)
{
    std::string detail;
    if (!text(cpu, "physical_cores").empty() && !text(cpu, "logical_cores").empty())
        detail = text(cpu, "physical_cores") + "C/" + text(cpu, "logical_cores") + "T";
    std::string model = text(cpu, "model");
    if (!model.empty())
        add(lines, "CPU", detail.empty() ? model : model + " (" + detail + ")");
}

/* The product, its feature update and its build: "Windows 11 Pro 23H2
 * (build 22631.2861)". The release label is the os module's codename
 * (DisplayVersion, else the service pack); pretty_name, the fallback, holds
 * the version number instead of the build. */
std::string os_line(const json &os, const json &release)
{
    std::string name = text(os, "name");
    if (name.empty())
        name = text(release, "product");
    std::string build = text(release, "full_build");
    if (build.empty())
        build = text(os, "build_id");
    if (name.empty() || build.empty())
        return text(os, "pretty_name");
    return join(name, text(os, "codename")) + " (build " + build + ")";
}

/* "3840x2160 @ 59.95 Hz, 150%, DisplayPort, primary": what is known of it. */
std::string display_line(const json &d)
{
    std::string w = text(d, "width"), h = text(d, "height");
    std::string s = w.empty() || h.empty() ? "" : w + "x" + h;
    auto it = d.find("refresh_hz");
    if (it != d.end() && it->is_number()) {
        char hz[32];
        snprintf(hz, sizeof hz, "%.2f Hz", it->get<double>());
        s = join(s, hz, " @ ");
    }
    std::string scale = text(d, "scale_percent");
    s = join(s, scale.empty() ? "" : scale + "%", ", ");
    s = join(s, text(d, "connector"), ", ");
    return join(s, text(d, "primary") == "1" ? "primary" : "", ", ");
}

/* A battery as its own device reports it: "86% Discharging, health 91%,
 * 312 cycles". */
std::string battery_text(const json &b)
{
    std::string s;
    auto it = b.is_object() ? b.find("charge_percent") : b.end();
    if (it != b.end() && it->is_number()) {
        char pct[32];
        snprintf(pct, sizeof pct, "%.0f%%", it->get<double>());
        s = pct;
    }
    s = join(s, text(b, "state"));
    it = b.is_object() ? b.find("health_percent") : b.end();
    if (it != b.end() && it->is_number()) {
        char pct[32];
        snprintf(pct, sizeof pct, "health %.0f%%", it->get<double>());
        s = join(s, pct, ", ");
    }
    std::string cycles = text(b, "cycle_count");
    return join(s, cycles.empty() ? "" : cycles + " cycles", ", ");
}

std::string count_of(long long n, const char *unit)
{
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

/* The uptime from its seconds, in the library's layout but with "1 hour"
 * and "1 minute" where the document says "1 hours"; the document's own text
 * when there are no seconds. */
std::string uptime_text(const json &uptime)
{
    auto it = uptime.is_object() ? uptime.find("total_seconds") : uptime.end();
    if (!uptime.is_object() || it == uptime.end() || !it->is_number_integer() ||
        it->get<long long>() < 0)
        return text(uptime, "formatted");
    long long s = it->get<long long>();
    long long days = s / 86400, hours = s % 86400 / 3600, minutes = s % 3600 / 60;
    if (days > 0)
        return count_of(days, "day") + ", " + count_of(hours, "hour") + ", " +
               count_of(minutes, "minute");
    if (hours > 0)
        return count_of(hours, "hour") + ", " + count_of(minutes, "minute");
    if (s < 60)
        return count_of(s, "second");
    return count_of(minutes, "minute");
}

std::vector<line> collect_lines(const json &doc, const json &public_ip)
{
    std::vector<line> lines;
    add(lines, "OS", os_line(section(doc, "os"), section(doc, "os_release")));
    const json &kernel = section(doc, "kernel");
    add(lines, "Kernel", join(text(kernel, "name"), text(kernel, "release")));
    const json &host = section(doc, "host");
    add(lines, "Host", join(text(host, "manufacturer"), text(host, "model")));
    /* A hypervisor's root partition (Windows with virtualization-based
     * security) is the machine itself, no VM. */
    const json &hv = section(doc, "hypervisor");
    if (text(hv, "guest") == "1")
        add(lines, "VM", text(hv, "name"));
    add(lines, "Uptime", uptime_text(section(doc, "uptime")));
    std::string total = text(section(doc, "packages"), "total");
    add(lines, "Packages", total.empty() || total == "0" ? "" : total + " (windows)");
    const json &shell = section(doc, "shell");
    add(lines, "Shell", join(text(shell, "name"), text(shell, "version")));
    /* A line for each display; the resolution of the one display the
     * thread sees only when the displays are not known. */
    const json &displays = section(doc, "displays");
    for (const json &d : displays) {
        std::string name = printable(text(d, "name"));
        add(lines, name.empty() ? "Display" : "Display (" + name + ")", display_line(d));
    }
    const json &res = section(doc, "resolution");
    std::string w = text(res, "width"), h = text(res, "height"), hz = text(res, "refresh_hz");
    if ((!displays.is_array() || displays.empty()) && !w.empty() && w != "0" && !h.empty() &&
        h != "0")
        add(lines, "Resolution", w + "x" + h + (hz.empty() || hz == "0" ? "" : " @ " + hz + " Hz"));
    add(lines, "DE", text(section(doc, "de"), "name"));
    add(lines, "WM", text(section(doc, "wm"), "name"));
    add(lines, "Terminal", text(section(doc, "terminal"), "name"));
    cpu_line(lines, section(doc, "cpu_info"));
    for (const json &g : section(doc, "display_adapters")) {
        std::string vram = text(g, "vram_mb");
        add(lines, "GPU", join(text(g, "name"), vram.empty() ? "" : "(" + vram + " MiB)"));
    }
    const json &mem = section(doc, "memory");
    add(lines, "Memory",
        used_of(text(mem, "used_mb"), text(mem, "total_mb"), "MiB", text(mem, "percent")));
    /* The swap section is the commit charge (physical memory and page files),
     * which is what the label says. */
    const json &swap = section(doc, "swap");
    if (text(swap, "total_mb") != "0")
        add(lines, "Commit",
            used_of(text(swap, "used_mb"), text(swap, "total_mb"), "MiB", text(swap, "percent")));
    /* A volume whose space query failed has sizes of 0 and no percent. */
    for (const json &d : section(doc, "disk")) {
        std::string pct = text(d, "percent");
        std::string v = used_of(text(d, "used_gb"), text(d, "size_gb"), "GiB", pct);
        if (!pct.empty() && !v.empty())
            lines.push_back(line{"Disk (" + printable(text(d, "mount_point")) + ")",
                                 join(v, text(d, "filesystem"), " - ")});
    }
    add(lines, "Local IP", text(section(doc, "network"), "local_ip"));
    std::string addr = text(public_ip, "ip");
    std::string where = join(text(public_ip, "city"), text(public_ip, "country"), ", ");
    if (!addr.empty())
        add(lines, "Public IP", where.empty() ? addr : addr + " (" + where + ")");
    /* A machine with several batteries names each. */
    const json &batteries = section(doc, "battery_health");
    for (size_t i = 0; batteries.is_array() && i < batteries.size(); i++) {
        std::string name = batteries.size() > 1 ? printable(text(batteries[i], "name")) : "";
        add(lines, name.empty() ? "Battery" : "Battery (" + name + ")", battery_text(batteries[i]));
    }
    add(lines, "Locale", text(section(doc, "locale"), "name"));
    return lines;
}

std::vector<std::string> split_lines(const std::string &s)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); i++)
        if (i == s.size() || s[i] == '\n') {
            out.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    return out;
}

} // namespace

std::string summary_text(const json &doc, const json &public_ip, const std::string &logo,
                         bool color)
{
    const char *accent = color ? "\x1b[1;36m" : "";
    const char *logo_color = color ? "\x1b[34m" : "";
    const char *reset = color ? "\x1b[0m" : "";

    std::vector<std::string> right;
    const json &user = section(doc, "user");
    std::string title = printable(join(text(user, "username"), text(user, "host"), "@"));
    if (!title.empty()) {
        right.push_back(accent + title + reset);
        right.push_back(std::string(columns(title), '-'));
    }
    for (const line &l : collect_lines(doc, public_ip))
        right.push_back(accent + l.label + reset + ": " + printable(l.value));

    std::vector<std::string> left = logo.empty() ? std::vector<std::string>() : split_lines(logo);
    size_t width = 0;
    for (const std::string &l : left)
        width = l.size() > width ? l.size() : width;
    std::string out;
    size_t rows = left.size() > right.size() ? left.size() : right.size();
    for (size_t i = 0; i < rows; i++) {
        if (!left.empty()) {
            std::string l = i < left.size() ? left[i] : "";
            if (!l.empty())
                out += logo_color + l + reset;
            if (i < right.size())
                out += std::string(width - l.size() + 3, ' ');
        }
        if (i < right.size())
            out += right[i];
        out += "\n";
    }
    return out;
}
