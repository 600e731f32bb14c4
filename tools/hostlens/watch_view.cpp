#include "watch_view.h"

#include <math.h>
#include <stdio.h>

#include "document.h"
#include "text_width.h"

using json = nlohmann::ordered_json;

namespace
{

const size_t LABEL = 9; /* "Memory   " */
const size_t CPU_COL = 8;
const size_t MEM_COL = 11;
const size_t BAR_MAX = 40;
/* Below this width the columns close up and names get shorter. */
const size_t NARROW = 60;

/* " 123.4 MiB/s", with one blank before it on a narrow console */
size_t rate_col(size_t width)
{
    return width >= NARROW ? 13 : 12;
}

size_t busy_col(size_t width)
{
    return width >= NARROW ? 6 : 5;
}

typedef std::vector<view_row> block;

std::string text_of(const json &obj, const char *key)
{
    if (!obj.is_object())
        return "";
    auto it = obj.find(key);
    if (it == obj.end())
        return "";
    if (it->is_string())
        return it->get<std::string>() == "unknown" ? "" : it->get<std::string>();
    if (it->is_number_integer())
        return std::to_string(it->get<long long>());
    return "";
}

std::string format(const char *fmt, double x)
{
    char buf[64];
    snprintf(buf, sizeof buf, fmt, x);
    return buf;
}

std::string percent(const json &obj, const char *key)
{
    double p;
    return number(obj, key, &p) && p >= 0 ? format("%5.1f%%", p) : "     -";
}

std::string rate(const json &obj, const char *key)
{
    double r;
    return number(obj, key, &r) && r >= 0 ? human_bytes(r) + "/s" : "-";
}

/* "[|||||     ]" of `cells` inside the brackets; "" for no room or no value. */
std::string bar(const json &obj, const char *key, size_t cells)
{
    double p;
    if (cells < 3 || !number(obj, key, &p) || p < 0)
        return "";
    if (p > 100)
        p = 100;
    size_t full = (size_t)lround(p * (double)cells / 100.0);
    return "[" + std::string(full, '|') + std::string(cells - full, ' ') + "]";
}

/* The list a section holds: the section itself, or its one array member. */
const json &list_of(const json &section)
{
    static const json none = json::array();
    if (section.is_array())
        return section;
    if (section.is_object())
        for (auto it = section.begin(); it != section.end(); ++it)
            if (it->is_array())
                return *it;
    return none;
}

/* A row of a name and right-aligned columns, the name taking what is left. */
std::string columns_row(const std::string &indent, const std::string &name,
                        const std::vector<std::pair<std::string, size_t>> &cols, size_t width)
{
    size_t used = indent.size();
    for (const auto &c : cols)
        used += c.second;
    size_t room = width > used ? width - used : 0;
    if (room < 5)
        room = 5; /* the row is cut at the end instead */
    std::string row = indent + pad_columns(printable(name), room);
    for (const auto &c : cols)
        row += pad_columns(c.first, c.second, true);
    return row;
}

void cpu_blocks(const json &cpu, size_t width, size_t bar_cells, block *total, block *cores)
{
    std::string row = pad_columns("CPU", LABEL) + percent(cpu, "usage_percent");
    std::string b = bar(cpu, "usage_percent", bar_cells);
    total->push_back(view_row{b.empty() ? row : row + " " + b, true});

    auto it = cpu.is_object() ? cpu.find("per_core_percent") : cpu.end();
    if (it == cpu.end() || !it->is_array() || it->empty())
        return;
    /* "  3  12.5% [||      ]" per processor, as many to a row as fit. */
    const size_t mini = 8;
    size_t cell = 3 + 1 + 6 + 1 + mini + 2, gap = 3;
    bool bars = width >= 2 + cell;
    if (!bars)
        cell = 10;
    size_t per_row = width > 2 ? (width - 2 + gap) / (cell + gap) : 1;
    if (per_row == 0)
        per_row = 1;
    std::string line;
    for (size_t i = 0; i < it->size(); i++) {
        json v = json::object();
        v["p"] = (*it)[i];
        std::string c = format("%3.0f", (double)i) + " " + percent(v, "p");
        if (bars) {
            std::string m = bar(v, "p", mini);
            c += " " + (m.empty() ? std::string(mini + 2, ' ') : m);
        }
        line += (line.empty() ? "  " : std::string(gap, ' ')) + c;
        if ((i + 1) % per_row == 0 || i + 1 == it->size()) {
            cores->push_back(view_row{line, false});
            line.clear();
        }
    }
}

void memory_block(const json &mem, size_t width, size_t bar_cells, block *out)
{
    std::string row = pad_columns("Memory", LABEL) + percent(mem, "percent");
    std::string b = bar(mem, "percent", bar_cells);
    if (!b.empty())
        row += " " + b;
    std::string used = text_of(mem, "used_mb"), total = text_of(mem, "total_mb");
    if (!used.empty() && !total.empty())
        row += "  " + used + (width >= NARROW ? " / " : "/") + total + " MiB";
    out->push_back(view_row{row, true});
}

/* Up, and not a filter interface, which repeats the traffic of the one
 * beneath it. An entry that does not say counts as up. */
bool active(const json &nic)
{
    double up = 1, filter = 0;
    number(nic, "is_up", &up);
    number(nic, "filter", &filter);
    return up != 0 && filter == 0;
}

void network_block(const json &net, size_t width, block *out)
{
    const size_t RATE = rate_col(width);
    out->push_back(
        view_row{columns_row("", "Network", {{"receive", RATE}, {"send", RATE}}, width), true});
    size_t shown = 0;
    for (const json &nic : list_of(net)) {
        if (!active(nic))
            continue;
        std::string name = text_of(nic, "name");
        out->push_back(view_row{
            columns_row("  ", name.empty() ? "?" : name,
                        {{rate(nic, "rx_bytes_per_s"), RATE}, {rate(nic, "tx_bytes_per_s"), RATE}},
                        width),
            false});
        shown++;
    }
    if (shown == 0)
        out->push_back(view_row{"  no interface is up", false});
}

void disk_block(const json &disks, size_t width, block *out)
{
    const size_t RATE = rate_col(width), BUSY = busy_col(width);
    out->push_back(view_row{
        columns_row("", "Disks", {{"read", RATE}, {"write", RATE}, {"busy", BUSY}}, width), true});
    for (const json &d : list_of(disks)) {
        std::string name = (width >= NARROW ? "Disk " : "") + text_of(d, "disk");
        std::string model = text_of(d, "model");
        if (!model.empty())
            name += " " + model;
        double busy;
        std::string b =
            number(d, "busy_percent", &busy) && busy >= 0 ? format("%.0f%%", busy) : "-";
        out->push_back(view_row{columns_row("  ", name,
                                            {{rate(d, "read_bytes_per_s"), RATE},
                                             {rate(d, "write_bytes_per_s"), RATE},
                                             {b, BUSY}},
                                            width),
                                false});
    }
    if (list_of(disks).empty())
        out->push_back(view_row{"  no disk", false});
}

void process_block(const json &procs, size_t width, block *out)
{
    out->push_back(view_row{
        columns_row("", "Processes", {{"CPU", CPU_COL}, {"memory", MEM_COL}}, width), true});
    for (const json &p : list_of(procs)) {
        std::string pid = text_of(p, "pid");
        double ws;
        std::string mem = number(p, "working_set_bytes", &ws) && ws >= 0 ? human_bytes(ws) : "-";
        std::string cpu = percent(p, "cpu_percent");
        while (!cpu.empty() && cpu[0] == ' ')
            cpu.erase(0, 1);
        std::string name = pad_columns(pid, 7, true) + " " + text_of(p, "name");
        out->push_back(
            view_row{columns_row("", name, {{cpu, CPU_COL}, {mem, MEM_COL}}, width), false});
    }
    if (list_of(procs).empty())
        out->push_back(view_row{"  no process", false});
}

} // namespace

std::string human_bytes(double bytes)
{
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return format("%.0f B", bytes);
    double v = bytes / 1024;
    size_t u = 0;
    while (v >= 1024 && u + 1 < sizeof units / sizeof units[0]) {
        v /= 1024;
        u++;
    }
    return format("%.1f ", v) + units[u];
}

std::vector<view_row> watch_view(const json &doc, size_t width, size_t height)
{
    size_t bar_cells = width > LABEL + 7 + 26 ? width - LABEL - 7 - 26 : 0;
    if (bar_cells > BAR_MAX)
        bar_cells = BAR_MAX;

    /* Memory sits under the processors wherever the document has it: a
     * sampler writes the sections it rates first and memory after them. */
    block head, cpu, cores, mem, rest, procs;
    double interval = 0;
    std::string title = "hostlens --watch";
    if (number(doc, "interval_s", &interval))
        title += format("   over %.2f s", interval);
    head.push_back(view_row{title + "   Ctrl+C ends", false});
    if (doc.is_object()) {
        for (auto it = doc.begin(); it != doc.end(); ++it) {
            const std::string &key = it.key();
            if (key == "interval_s")
                continue;
            if (key == "cpu")
                cpu_blocks(*it, width, bar_cells, &cpu, &cores);
            else if (key == "memory")
                memory_block(*it, width, bar_cells, &mem);
            else if (key == "net_io")
                network_block(*it, width, &rest);
            else if (key == "disk_io")
                disk_block(*it, width, &rest);
            else if (key == "processes")
                process_block(*it, width, &procs);
            else if (key == "refused_modules" || key == "unknown_modules") {
                std::string names;
                for (const json &n : *it)
                    if (n.is_string())
                        names += (names.empty() ? "" : ", ") + n.get<std::string>();
                rest.push_back(view_row{
                    (key == "refused_modules" ? "Not watched (it waits): " : "Unknown: ") + names,
                    true});
            } else {
                rest.push_back(view_row{
                    key + ": " + it->dump(-1, ' ', false, json::error_handler_t::replace), true});
            }
        }
    }

    /* What does not fit goes: the processes' rows, then the processors'. */
    auto total = [&] {
        return head.size() + cpu.size() + cores.size() + mem.size() + rest.size() + procs.size();
    };
    while (total() > height && procs.size() > 1)
        procs.pop_back();
    while (total() > height && !cores.empty())
        cores.pop_back();

    std::vector<view_row> rows;
    for (block *b : {&head, &cpu, &cores, &mem, &rest, &procs})
        for (const view_row &r : *b)
            if (rows.size() < height)
                rows.push_back(view_row{fit_columns(r.text, width), r.heading});
    return rows;
}
