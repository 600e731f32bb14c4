/*
 * The default view: the logo on the left, one labelled line per known value
 * on the right. Values the library reports as "unknown" are left out. It is
 * built from the module exports, so without --public-ip it makes no network
 * call.
 */
#include "view.h"

#include <string.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "hostlens.h"

using json = nlohmann::ordered_json;

namespace
{

struct line {
    std::string label;
    std::string value;
};

bool out_of_memory;

/* The inner object or array of a module document. */
json fetch(const char *(*fn)(void), const char *key)
{
    const char *text = fn();
    if (text == nullptr) {
        out_of_memory = true;
        return json();
    }
    json doc = json::parse(text, nullptr, false);
    if (!doc.is_object() || !doc.contains(key))
        return json();
    return doc[key];
}

/* A member as text, or "" when it is missing or "unknown". */
std::string text(const json &obj, const char *key)
{
    if (!obj.is_object() || !obj.contains(key))
        return "";
    const json &v = obj[key];
    if (v.is_string()) {
        std::string s = v.get<std::string>();
        return s == "unknown" ? "" : s;
    }
    if (v.is_number_integer())
        return std::to_string(v.get<long long>());
    if (v.is_number()) {
        char buf[64];
        snprintf(buf, sizeof buf, "%.1f", v.get<double>());
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

void add(std::vector<line> &lines, const char *label, const std::string &value)
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

void collect(std::vector<line> &lines, bool public_ip)
{
    json os = fetch(hostlens_os, "os");
    add(lines, "OS", text(os, "pretty_name"));
    json kernel = fetch(hostlens_kernel, "kernel");
    add(lines, "Kernel", join(text(kernel, "name"), text(kernel, "release")));
    json host = fetch(hostlens_host, "host");
    add(lines, "Host", join(text(host, "manufacturer"), text(host, "model")));
    add(lines, "Uptime", text(fetch(hostlens_uptime, "uptime"), "formatted"));
    json packages = fetch(hostlens_packages, "packages");
    std::string total = text(packages, "total");
    add(lines, "Packages", total.empty() || total == "0" ? "" : total + " (windows)");
    json shell = fetch(hostlens_shell, "shell");
    add(lines, "Shell", join(text(shell, "name"), text(shell, "version")));
    json res = fetch(hostlens_resolution, "resolution");
    std::string w = text(res, "width"), h = text(res, "height"), hz = text(res, "refresh_hz");
    if (!w.empty() && w != "0" && !h.empty() && h != "0")
        add(lines, "Resolution", w + "x" + h + (hz.empty() || hz == "0" ? "" : " @ " + hz + " Hz"));
    add(lines, "DE", text(fetch(hostlens_desktop_environment, "de"), "name"));
    add(lines, "WM", text(fetch(hostlens_window_manager, "wm"), "name"));
    add(lines, "Terminal", text(fetch(hostlens_terminal, "terminal"), "name"));

    json cpu = fetch(hostlens_cpu, "cpu");
    std::string detail = text(cpu, "physical_cores");
    if (!detail.empty() && !text(cpu, "logical_cores").empty())
        detail += "C/" + text(cpu, "logical_cores") + "T";
    else
        detail.clear();
    std::string usage = text(cpu, "usage_percent");
    if (!usage.empty())
        detail = join(detail, usage + "% used", ", ");
    std::string model = text(cpu, "model");
    if (!model.empty())
        add(lines, "CPU", detail.empty() ? model : model + " (" + detail + ")");

    json gpus = fetch(hostlens_gpu, "gpu");
    if (gpus.is_array())
        for (const json &g : gpus) {
            std::string vram = text(g, "vram_mb");
            add(lines, "GPU", join(text(g, "model"), vram.empty() ? "" : "(" + vram + " MiB)"));
        }
    json mem = fetch(hostlens_memory, "memory");
    add(lines, "Memory",
        used_of(text(mem, "used_mb"), text(mem, "total_mb"), "MiB", text(mem, "percent")));
    json swap = fetch(hostlens_swap, "swap");
    if (text(swap, "total_mb") != "0")
        add(lines, "Swap",
            used_of(text(swap, "used_mb"), text(swap, "total_mb"), "MiB", text(swap, "percent")));
    json disks = fetch(hostlens_disk, "disk");
    if (disks.is_array())
        for (const json &d : disks) {
            std::string label = "Disk (" + text(d, "mount_point") + ")";
            std::string v =
                used_of(text(d, "used_gb"), text(d, "size_gb"), "GiB", text(d, "percent"));
            if (!v.empty())
                lines.push_back(line{label, join(v, text(d, "filesystem"), " - ")});
        }
    add(lines, "Local IP", text(fetch(hostlens_network, "network"), "local_ip"));
    if (public_ip) {
        json ip = fetch(hostlens_public_ip, "public_ip");
        std::string where = join(text(ip, "city"), text(ip, "country"), ", ");
        std::string addr = text(ip, "ip");
        if (!addr.empty())
            add(lines, "Public IP", where.empty() ? addr : addr + " (" + where + ")");
    }
    json batteries = fetch(hostlens_battery, "battery");
    if (batteries.is_array())
        for (const json &b : batteries) {
            std::string pct = text(b, "percent");
            add(lines, "Battery", join(pct.empty() ? "" : pct + "%", text(b, "state")));
        }
    add(lines, "Locale", text(fetch(hostlens_locale, "locale"), "name"));
}

std::vector<std::string> split_lines(const char *s)
{
    std::vector<std::string> out;
    std::string cur;
    for (; *s; s++) {
        if (*s == '\n') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += *s;
        }
    }
    out.push_back(cur);
    return out;
}

} // namespace

int print_summary(FILE *out, bool color, bool public_ip)
{
    out_of_memory = false;
    json user = fetch(hostlens_user, "user");
    std::vector<line> lines;
    collect(lines, public_ip);
    if (out_of_memory)
        return 1;

    const char *accent = color ? "\x1b[1;36m" : "";
    const char *logo_color = color ? "\x1b[34m" : "";
    const char *reset = color ? "\x1b[0m" : "";

    std::vector<std::string> right;
    std::string title = join(text(user, "username"), text(user, "host"), "@");
    if (!title.empty()) {
        right.push_back(std::string(accent) + title + reset);
        right.push_back(std::string(title.size(), '-'));
    }
    for (const line &l : lines)
        right.push_back(std::string(accent) + l.label + reset + ": " + l.value);

    std::vector<std::string> logo = split_lines(hostlens_logo("windows"));
    size_t width = 0;
    for (const std::string &l : logo)
        width = l.size() > width ? l.size() : width;
    size_t rows = logo.size() > right.size() ? logo.size() : right.size();
    for (size_t i = 0; i < rows; i++) {
        std::string left = i < logo.size() ? logo[i] : "";
        std::string pad(width - left.size() + 3, ' ');
        std::string r = i < right.size() ? right[i] : "";
        if (r.empty())
            fprintf(out, "%s%s%s\n", logo_color, left.c_str(), reset);
        else
            fprintf(out, "%s%s%s%s%s\n", logo_color, left.c_str(), reset, pad.c_str(), r.c_str());
    }
    return 0;
}
