/*
 * The live view of --watch over sample sampler documents: a wide and a
 * narrow console, rates the sampler could not take, a machine without an
 * active interface, rows that do not fit, and sections it has no layout for.
 * Memory comes after the rated sections, as a sampler writes it, and is
 * shown under the processors all the same.
 */
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "text_width.h"
#include "watch_view.h"

using json = nlohmann::ordered_json;

namespace
{

const char *const SAMPLE = R"J({"interval_s":1.002,
 "cpu":{"model":"AMD EPYC","logical_cores":4,"usage_percent":23.4,
        "per_core_percent":[12.5,100.0,-1.0,0.0]},
 "net_io":[
  {"name":"lo","is_up":1,"filter":0,"rx_bytes_per_s":512,"tx_bytes_per_s":512},
  {"name":"ifb0","is_up":0,"filter":0,"rx_bytes_per_s":0,"tx_bytes_per_s":0},
  {"name":"Ethernet","is_up":1,"filter":0,"rx_bytes_per_s":1258291.2,"tx_bytes_per_s":25907.2},
  {"name":"Ethernet-WFP Filter","is_up":1,"filter":1,"rx_bytes_per_s":1258291.2,
   "tx_bytes_per_s":25907.2}],
 "memory":{"used_mb":9984,"total_mb":16384,"percent":60.9},
 "disk_io":[{"disk":0,"model":"Samsung SSD 970","read_bytes_per_s":12582912,
   "write_bytes_per_s":1048576,"busy_percent":7.2},
  {"disk":1,"read_bytes_per_s":"unknown","write_bytes_per_s":"unknown","busy_percent":"unknown"}],
 "processes":[{"pid":4242,"name":"build.exe","cpu_percent":187.5,"working_set_bytes":536870912},
  {"pid":17,"name":"svchost.exe","cpu_percent":3.25,"working_set_bytes":20971520},
  {"pid":9,"name":"gone.exe","cpu_percent":"unknown","working_set_bytes":"unknown"}]})J";

std::string lines(const std::vector<view_row> &rows)
{
    std::string s;
    for (const view_row &r : rows) {
        std::string t = r.text;
        while (!t.empty() && t.back() == ' ')
            t.pop_back();
        s += (r.heading ? "* " : "  ") + t + "\n";
    }
    return s;
}

} // namespace

TEST(WatchView, WideConsole)
{
    EXPECT_EQ(
        lines(watch_view(json::parse(SAMPLE), 80, 40)),
        "  hostlens --watch   over 1.00 s   Ctrl+C ends\n"
        "* CPU       23.4% [|||||||||                             ]\n"
        "      0  12.5% [|       ]     1 100.0% [||||||||]     2      -\n"
        "      3   0.0% [        ]\n"
        "* Memory    60.9% [|||||||||||||||||||||||               ]  9984 / 16384 MiB\n"
        "* Network                                                     receive         send\n"
        "    lo                                                        512 B/s      512 B/s\n"
        "    Ethernet                                                1.2 MiB/s   25.3 KiB/s\n"
        "* Disks                                                    read        write  busy\n"
        "    Disk 0 Samsung SSD 970                           12.0 MiB/s    1.0 MiB/s    7%\n"
        "    Disk 1                                                    -            -     -\n"
        "* Processes                                                         CPU     memory\n"
        "     4242 build.exe                                              187.5%  512.0 MiB\n"
        "       17 svchost.exe                                              3.2%   20.0 MiB\n"
        "        9 gone.exe                                                    -          -\n");
}

/* Every row fits the console's width, whatever it is; a narrow one loses
 * the bars and cuts rows at their end. */
TEST(WatchView, NarrowConsole)
{
    json doc = json::parse(SAMPLE);
    for (size_t width = 1; width <= 120; width++)
        for (const view_row &r : watch_view(doc, width, 40))
            EXPECT_LE(columns(r.text), width) << width << ": " << r.text;
    EXPECT_EQ(lines(watch_view(doc, 40, 40)), "  hostlens --watch   over 1.00 s   Ctrl+C\n"
                                              "* CPU       23.4%\n"
                                              "      0  12.5% [|       ]\n"
                                              "      1 100.0% [||||||||]\n"
                                              "      2      -\n"
                                              "      3   0.0% [        ]\n"
                                              "* Memory    60.9%  9984/16384 MiB\n"
                                              "* Network              receive        send\n"
                                              "    lo                 512 B/s     512 B/s\n"
                                              "    Ethernet         1.2 MiB/s  25.3 KiB/s\n"
                                              "* Disks              read       write busy\n"
                                              "    0 Samsung  12.0 MiB/s   1.0 MiB/s   7%\n"
                                              "    1                   -           -    -\n"
                                              "* Processes                 CPU     memory\n"
                                              "     4242 build.exe      187.5%  512.0 MiB\n"
                                              "       17 svchost.exe      3.2%   20.0 MiB\n"
                                              "        9 gone.exe            -          -\n");
}

/* Processes go first, then the per-processor rows, then what is below. */
TEST(WatchView, RowsThatDoNotFit)
{
    json doc = json::parse(SAMPLE);
    struct {
        size_t height;
        size_t rows, processes, cores;
    } cases[] = {{40, 15, 3, 2}, {15, 15, 3, 2}, {14, 14, 2, 2}, {12, 12, 0, 2},
                 {11, 11, 0, 1}, {10, 10, 0, 0}, {4, 4, 0, 0},   {0, 0, 0, 0}};
    for (const auto &c : cases) {
        std::vector<view_row> rows = watch_view(doc, 80, c.height);
        EXPECT_EQ(rows.size(), c.rows) << c.height;
        size_t processes = 0, cores = 0;
        for (const view_row &r : rows) {
            processes += r.text.find(".exe") != std::string::npos;
            cores += r.text.find(" [|       ]") != std::string::npos ||
                     r.text.find("   0.0% [") != std::string::npos;
        }
        EXPECT_EQ(processes, c.processes) << c.height;
        EXPECT_EQ(cores, c.cores) << c.height;
    }
}

/* Rates the sampler could not take, no interface up, no disk, and sections
 * the view has no layout for. */
TEST(WatchView, UnknownRatesNoInterfacesAndOtherSections)
{
    const char *doc = R"J({"interval_s":0.0,
      "cpu":{"usage_percent":"unknown","per_core_percent":[]},
      "net_io":[{"name":"ifb0","is_up":0,"rx_bytes_per_s":"unknown"}],
      "disk_io":[],
      "cpu_temp":{"celsius":-1.0},
      "refused_modules":["public_ip"]})J";
    EXPECT_EQ(lines(watch_view(json::parse(doc), 60, 40)),
              "  hostlens --watch   over 0.00 s   Ctrl+C ends\n"
              "* CPU           -\n"
              "* Network                                 receive         send\n"
              "    no interface is up\n"
              "* Disks                                read        write  busy\n"
              "    no disk\n"
              "* cpu_temp: {\"celsius\":-1.0}\n"
              "* Not watched (it waits): public_ip\n");
    EXPECT_EQ(lines(watch_view(json::parse("{}"), 60, 40)), "  hostlens --watch   Ctrl+C ends\n");
}

TEST(WatchView, BytesInWords)
{
    struct {
        double bytes;
        const char *text;
    } cases[] = {{0, "0 B"},          {1023, "1023 B"},     {1024, "1.0 KiB"},
                 {1536, "1.5 KiB"},   {1048576, "1.0 MiB"}, {3.5 * 1073741824.0, "3.5 GiB"},
                 {5e15, "4547.5 TiB"}};
    for (const auto &c : cases)
        EXPECT_EQ(human_bytes(c.bytes), c.text) << c.bytes;
}
