/*
 * The Prometheus writer: exact text for a document with escapes and unknown
 * values, every family from a scripted machine, and promtool over what the
 * substitute platform's failures produce.
 */
#include <stdio.h>

#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fake.h"
#include "hostlens.h"
#include "machine.h"
#include "hostlens_internal.h"
#include "prometheus.h"

using json = nlohmann::ordered_json;

/* `promtool check metrics` over the text; what it finds shows in the test's
 * output. */
static int promtool(const std::string &text)
{
    FILE *p = popen("promtool check metrics", "w");
    if (p == nullptr)
        return -1;
    fwrite(text.data(), 1, text.size(), p);
    return pclose(p);
}

/* What --format prometheus collects by default: the snapshot's sections but
 * the public IP, and the modules reached by name that the metrics read. */
static std::string default_sections()
{
    std::string list;
    for (int i = 0; i < HL_SNAPSHOT_MODULES; i++)
        if (std::string(hl_modules[i].key) != "public_ip")
            list += std::string(hl_modules[i].key) + ",";
    return list + prometheus_named_sections;
}

/* Every family (its TYPE line) and every series once; no NaN. */
static void expect_unique(const std::string &text)
{
    std::set<std::string> seen;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        EXPECT_EQ(line.find("NaN"), std::string::npos) << line;
        if (line.rfind("# HELP ", 0) == 0)
            continue;
        std::string key = line.rfind("# TYPE ", 0) == 0 ? line : line.substr(0, line.rfind(' '));
        EXPECT_TRUE(seen.insert(key).second) << "written twice: " << key;
    }
}

TEST(Prometheus, ExactTextWithEscapesAndUnknownValuesLeftOut)
{
    json doc = json::parse(R"({
      "os":{"name":"Windows 11 Pro","version":"10.0","codename":"unknown","build_id":"22631"},
      "os_release":{"product":"Windows 11 Pro","display_version":"23H2","build":22631,
                    "ubr":"unknown","installation_type":"Client"},
      "hypervisor":{"present":1,"vendor":"Microsoft Hv","name":"Hyper-V","guest":0},
      "host":{"manufacturer":"unknown","model":"unknown"},
      "uptime":{"total_seconds":90061,"boot_time_iso":"2024-02-29T23:59:59Z"},
      "cpu":{"model":"Chip \"X\"\\2","physical_cores":"unknown","logical_cores":4,
             "usage_percent":"unknown","per_core_percent":[12.5,-1.0,100.0]},
      "cpu_temp":{"celsius":-1.0},
      "gpu":[{"vendor":"unknown","model":"unknown","driver_version":"unknown"},
             {"vendor":"AMD","model":"Radeon","driver_version":"unknown"}],
      "memory":{"used_mb":"unknown","total_mb":16384,"percent":"unknown",
                "available_mb":"unknown"},
      "swap":{"used_mb":0,"total_mb":0,"percent":0.0},
      "battery":[{"model":"unknown","percent":"unknown","power_plugged":1}],
      "disk":[{"mount_point":"C:\\","size_gb":1.5,"used_gb":0.25,"percent":16.7}],
      "network":{"interfaces":[{"name":"Wi-Fi\n2","mac":"unknown","is_up":1},
                               {"name":"Wi-Fi\n2","mac":"unknown","is_up":0},
                               {"name":"eth0","mac":"00:1A:2B:3C:4D:5E","is_up":0}]},
      "process_count":{"total":0},
      "disk_io":[{"disk":0,"read_bytes":18446744073709551615,"write_bytes":"unknown",
                  "reads":4294967295,"writes":0,"read_s":12.3456789,"write_s":0.0000001,
                  "idle_s":1728000.0000000,"queue_depth":2,"split_ios":"unknown"},
                 {"disk":3,"read_bytes":"unknown","read_s":"unknown","queue_depth":"unknown"}],
      "volumes":[{"mount":"C:\\","total_bytes":9007199254740993,"free_bytes":0},
                 {"mount":"unknown","total_bytes":1,"free_bytes":1},
                 {"mount":"D:\\","total_bytes":"unknown","free_bytes":"unknown"}]
    })");
    EXPECT_EQ(prometheus_text(doc),
              "# HELP hostlens_os_info Operating system, as labels (windows_exporter's "
              "windows_os_info).\n"
              "# TYPE hostlens_os_info gauge\n"
              "hostlens_os_info{product=\"Windows 11 Pro\",version=\"10.0.22631\","
              "build_number=\"22631\",installation_type=\"Client\",display_version=\"23H2\"} 1\n"
              "# HELP hostlens_hypervisor_info Hypervisor the system runs under, as labels; "
              "absent on bare metal.\n"
              "# TYPE hostlens_hypervisor_info gauge\n"
              "hostlens_hypervisor_info{vendor=\"Microsoft Hv\",name=\"Hyper-V\",guest=\"0\"} 1\n"
              "# HELP hostlens_system_boot_time_timestamp_seconds Time of the last boot, in "
              "seconds since the "
              "Unix epoch.\n"
              "# TYPE hostlens_system_boot_time_timestamp_seconds gauge\n"
              "hostlens_system_boot_time_timestamp_seconds 1709251199\n"
              "# HELP hostlens_uptime_seconds Seconds since the last boot.\n"
              "# TYPE hostlens_uptime_seconds gauge\n"
              "hostlens_uptime_seconds 90061\n"
              "# HELP hostlens_cpu_info Processor model, as labels.\n"
              "# TYPE hostlens_cpu_info gauge\n"
              "hostlens_cpu_info{model=\"Chip \\\"X\\\"\\\\2\"} 1\n"
              "# HELP hostlens_cpu_logical_processor Logical processors.\n"
              "# TYPE hostlens_cpu_logical_processor gauge\n"
              "hostlens_cpu_logical_processor 4\n"
              "# HELP hostlens_cpu_core_usage_ratio Share of time not idle of one logical "
              "processor.\n"
              "# TYPE hostlens_cpu_core_usage_ratio gauge\n"
              "hostlens_cpu_core_usage_ratio{core=\"0\"} 0.125\n"
              "hostlens_cpu_core_usage_ratio{core=\"2\"} 1\n"
              "# HELP hostlens_gpu_info Display adapter, as labels.\n"
              "# TYPE hostlens_gpu_info gauge\n"
              "hostlens_gpu_info{gpu=\"0\"} 1\n"
              "hostlens_gpu_info{gpu=\"1\",vendor=\"AMD\",model=\"Radeon\"} 1\n"
              "# HELP hostlens_memory_physical_total_bytes Physical memory visible to the system, "
              "in whole MiB.\n"
              "# TYPE hostlens_memory_physical_total_bytes gauge\n"
              "hostlens_memory_physical_total_bytes 17179869184\n"
              "# HELP hostlens_battery_power_plugged 1 when the machine runs on external "
              "power, 0 on battery.\n"
              "# TYPE hostlens_battery_power_plugged gauge\n"
              "hostlens_battery_power_plugged{battery=\"0\"} 1\n"
              "# HELP hostlens_logical_disk_size_bytes Size of a volume, bytes.\n"
              "# TYPE hostlens_logical_disk_size_bytes gauge\n"
              "hostlens_logical_disk_size_bytes{volume=\"C:\"} 9007199254740993\n"
              "# HELP hostlens_logical_disk_free_bytes Free space of a volume, bytes.\n"
              "# TYPE hostlens_logical_disk_free_bytes gauge\n"
              "hostlens_logical_disk_free_bytes{volume=\"C:\"} 0\n"
              "# HELP hostlens_physical_disk_read_bytes_total Bytes read from a disk.\n"
              "# TYPE hostlens_physical_disk_read_bytes_total counter\n"
              "hostlens_physical_disk_read_bytes_total{disk=\"0\"} 18446744073709551615\n"
              "# HELP hostlens_physical_disk_reads_total Read operations of a disk (a 32-bit "
              "count).\n"
              "# TYPE hostlens_physical_disk_reads_total counter\n"
              "hostlens_physical_disk_reads_total{disk=\"0\"} 4294967295\n"
              "# HELP hostlens_physical_disk_writes_total Write operations of a disk (a 32-bit "
              "count).\n"
              "# TYPE hostlens_physical_disk_writes_total counter\n"
              "hostlens_physical_disk_writes_total{disk=\"0\"} 0\n"
              "# HELP hostlens_physical_disk_read_seconds_total Seconds a disk spent on reads.\n"
              "# TYPE hostlens_physical_disk_read_seconds_total counter\n"
              "hostlens_physical_disk_read_seconds_total{disk=\"0\"} 12.3456789\n"
              "# HELP hostlens_physical_disk_write_seconds_total Seconds a disk spent on "
              "writes.\n"
              "# TYPE hostlens_physical_disk_write_seconds_total counter\n"
              "hostlens_physical_disk_write_seconds_total{disk=\"0\"} 0.0000001\n"
              "# HELP hostlens_physical_disk_idle_seconds_total Seconds a disk was idle.\n"
              "# TYPE hostlens_physical_disk_idle_seconds_total counter\n"
              "hostlens_physical_disk_idle_seconds_total{disk=\"0\"} 1728000\n"
              "# HELP hostlens_physical_disk_requests_queued Requests queued to a disk.\n"
              "# TYPE hostlens_physical_disk_requests_queued gauge\n"
              "hostlens_physical_disk_requests_queued{disk=\"0\"} 2\n"
              "# HELP hostlens_network_up 1 when a network interface is up, 0 when it is down.\n"
              "# TYPE hostlens_network_up gauge\n"
              "hostlens_network_up{interface=\"Wi-Fi\\n2\"} 1\n"
              "hostlens_network_up{interface=\"eth0\",mac=\"00:1A:2B:3C:4D:5E\"} 0\n");

    /* With the processor times beside it, a processor's usage carries the
     * same "group,index" label as its times. */
    doc = json::parse(R"({"cpu":{"per_core_percent":[50.0,25.0]},
                          "cpu_times":{"cores":[{"core":"0,0"},{"core":"1,0"}]}})");
    EXPECT_NE(prometheus_text(doc).find("hostlens_cpu_core_usage_ratio{core=\"1,0\"} 0.25\n"),
              std::string::npos);
    /* The same from times brought for their labels only, which list more
     * processors than the usage does: labelled, the times not written. */
    std::string t =
        prometheus_text(json::parse(R"({"cpu":{"per_core_percent":[50.0,25.0]}})"),
                        json::parse(R"({"cores":[{"core":"0,0"},{"core":"1,0"},{"core":"1,1"}]})"));
    EXPECT_NE(t.find("hostlens_cpu_core_usage_ratio{core=\"1,0\"} 0.25\n"), std::string::npos) << t;
    EXPECT_EQ(t.find("cpu_time_total"), std::string::npos) << t;
}

/* A module the metrics read gives series on the scripted machine; one they
 * do not read is refused by the program, so none may give any. */
TEST(Prometheus, ModulesReadAreThoseThatGiveSeries)
{
    for (int i = 0; i < hl_module_count; i++) {
        fake_reset();
        script_machine();
        std::string key = hl_modules[i].key;
        std::string text = prometheus_text(json::parse(hostlens_collect(key.c_str())));
        EXPECT_EQ(!text.empty(), prometheus_reads(key)) << key << "\n" << text;
    }
}

/* node_exporter's power_supply units: watt-hours, watts, a count. */
TEST(Prometheus, BatteryWearInNodeExportersUnits)
{
    json doc = json::parse(R"({"battery_health":[
      {"name":"DELL 1VX1H93","design_capacity_mwh":54000,"full_charge_capacity_mwh":49250,
       "cycle_count":312,"rate_mw":-8312},
      {"name":"unknown","design_capacity_mwh":"unknown","full_charge_capacity_mwh":"unknown",
       "cycle_count":"unknown","rate_mw":0}]})");
    EXPECT_EQ(prometheus_text(doc),
              "# HELP hostlens_power_supply_energy_full_design Design capacity of a battery, in "
              "watt-hours.\n"
              "# TYPE hostlens_power_supply_energy_full_design gauge\n"
              "hostlens_power_supply_energy_full_design{power_supply=\"BAT0\",model=\"DELL "
              "1VX1H93\"} 54\n"
              "# HELP hostlens_power_supply_energy_full Full-charge capacity of a battery now, in "
              "watt-hours.\n"
              "# TYPE hostlens_power_supply_energy_full gauge\n"
              "hostlens_power_supply_energy_full{power_supply=\"BAT0\",model=\"DELL 1VX1H93\"} "
              "49.25\n"
              "# HELP hostlens_power_supply_cyclecount Charge and discharge cycles of a battery.\n"
              "# TYPE hostlens_power_supply_cyclecount gauge\n"
              "hostlens_power_supply_cyclecount{power_supply=\"BAT0\",model=\"DELL 1VX1H93\"} "
              "312\n"
              "# HELP hostlens_power_supply_power_watt Rate of charge (positive) or discharge "
              "(negative) of a battery, in watts.\n"
              "# TYPE hostlens_power_supply_power_watt gauge\n"
              "hostlens_power_supply_power_watt{power_supply=\"BAT0\",model=\"DELL 1VX1H93\"} "
              "-8.312\n"
              "hostlens_power_supply_power_watt{power_supply=\"BAT1\"} 0\n");
}

TEST(Prometheus, BootTimeOnlyFromAWholeUtcStamp)
{
    struct {
        const char *iso;
        const char *sample; /* "" when left out */
    } cases[] = {
        {"1970-01-01T00:00:00Z", "hostlens_system_boot_time_timestamp_seconds 0\n"},
        {"2000-03-01T00:00:01Z", "hostlens_system_boot_time_timestamp_seconds 951868801\n"},
        {"2023-12-29T16:26:40Z", "hostlens_system_boot_time_timestamp_seconds 1703867200\n"},
        {"unknown", ""},
        {"2023-12-29 16:26:40Z", ""},
        {"2023-13-29T16:26:40Z", ""},
        {"2023-12-29T16:26:40", ""},
    };
    for (const auto &c : cases) {
        std::string text = prometheus_text(json{{"boot_time", {{"iso", c.iso}}}});
        if (c.sample[0] == '\0')
            EXPECT_EQ(text, "") << c.iso;
        else
            EXPECT_NE(text.find(c.sample), std::string::npos) << c.iso << "\n" << text;
    }
}

TEST(Prometheus, ScriptedMachineHasEveryFamilyAndPassesPromtool)
{
    script_machine();
    std::string text = prometheus_text(json::parse(hostlens_collect(default_sections().c_str())));
    expect_unique(text);
    EXPECT_NE(text.find("hostlens_os_info{product=\"Windows 10 Pro\",version=\"10.0.19045\","
                        "build_number=\"19045\",revision=\"3803\",installation_type=\"Client\","
                        "display_version=\"22H2\"} 1\n"),
              std::string::npos)
        << text;
    for (const char *family : {"os_info",
                               "hypervisor_info",
                               "kernel_info",
                               "host_info",
                               "system_boot_time_timestamp_seconds",
                               "uptime_seconds",
                               "cpu_info",
                               "cpu_physical_cores",
                               "cpu_logical_processor",
                               "cpu_usage_ratio",
                               "cpu_core_usage_ratio",
                               "cpu_temperature_celsius",
                               "gpu_info",
                               "memory_physical_total_bytes",
                               "memory_available_bytes",
                               "memory_used_bytes",
                               "memory_commit_limit",
                               "memory_committed_bytes",
                               "battery_charge_ratio",
                               "battery_power_plugged",
                               "logical_disk_size_bytes",
                               "logical_disk_free_bytes",
                               "physical_disk_read_bytes_total",
                               "physical_disk_write_bytes_total",
                               "physical_disk_reads_total",
                               "physical_disk_writes_total",
                               "physical_disk_read_seconds_total",
                               "physical_disk_write_seconds_total",
                               "physical_disk_idle_seconds_total",
                               "physical_disk_split_ios_total",
                               "physical_disk_requests_queued",
                               "network_up",
                               "net_current_bandwidth_bytes",
                               "net_bytes_received_total",
                               "net_bytes_sent_total",
                               "net_packets_received_total",
                               "net_packets_sent_total",
                               "net_packets_received_errors_total",
                               "net_packets_received_discarded_total",
                               "net_packets_received_unknown_total",
                               "net_packets_outbound_errors_total",
                               "net_packets_outbound_discarded_total",
                               "cpu_time_total",
                               "system_processes",
                               "system_threads",
                               "power_supply_energy_full_design",
                               "power_supply_energy_full",
                               "power_supply_cyclecount",
                               "power_supply_power_watt"}) {
        std::string name = family;
        bool counter = name.size() > 6 && name.compare(name.size() - 6, 6, "_total") == 0;
        EXPECT_NE(text.find("\n# TYPE hostlens_" + name + (counter ? " counter\n" : " gauge\n")),
                  std::string::npos)
            << family;
    }
    /* The scripted disk whose counters are refused has none; the others all. */
    EXPECT_NE(text.find("hostlens_physical_disk_read_bytes_total{disk=\"1\"} 9007199254740993\n"),
              std::string::npos);
    EXPECT_EQ(text.find("{disk=\"3\"}"), std::string::npos);
    EXPECT_NE(text.find("hostlens_logical_disk_size_bytes{volume=\"C:\"} 512110190592\n"),
              std::string::npos);
    EXPECT_EQ(promtool(text), 0) << text;
}

/* The counters as the documents have them, to the last digit; filter
 * interfaces left out, which would count their interface's traffic twice. */
TEST(Prometheus, CountersExactlyAsTheDocumentsHaveThem)
{
    script_machine();
    std::string text = prometheus_text(json::parse(hostlens_collect(default_sections().c_str())));
    for (const char *line : {
             "hostlens_cpu_time_total{core=\"0,0\",mode=\"user\"} 900\n",
             "hostlens_cpu_time_total{core=\"0,0\",mode=\"privileged\"} 500\n",
             "hostlens_cpu_time_total{core=\"0,0\",mode=\"dpc\"} 0.1234567\n",
             "hostlens_cpu_time_total{core=\"0,1\",mode=\"user\"} 1200.0000005\n",
             "hostlens_cpu_time_total{core=\"0,3\",mode=\"idle\"} 3000\n",
             "hostlens_net_bytes_received_total{nic=\"Intel[R] Ethernet X550\"} 81604378624\n",
             "hostlens_net_packets_received_total{nic=\"Intel[R] Ethernet X550\"} 61120000\n",
             "hostlens_net_packets_received_unknown_total{nic=\"Intel[R] Ethernet X550\"} 17\n",
             "hostlens_net_packets_outbound_discarded_total{nic=\"Intel[R] Ethernet X550\"} 1\n",
             "hostlens_net_current_bandwidth_bytes{nic=\"Intel[R] Ethernet X550\"} 1250000000\n",
             "hostlens_net_current_bandwidth_bytes{nic=\"Software Loopback Interface 1\"} "
             "134217728\n",
             "hostlens_system_processes 3\n",
             "hostlens_system_threads 266\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_EQ(text.find("Filter"), std::string::npos);
    EXPECT_EQ(text.find("bandwidth_bytes{nic=\"Wireless Adapter\"}"), std::string::npos);
    EXPECT_NE(text.find("hostlens_net_bytes_sent_total{nic=\"Wireless Adapter\"} 0\n"),
              std::string::npos);
    /* nic as windows_exporter has it; a second interface of the same
     * description keeps apart by its alias. */
    const char *const rows[][3] = {
        {"Ethernet", "Intel(R) Ethernet X550", "{nic=\"Intel[R] Ethernet X550\"} 0\n"},
        {"Ethernet 2", "Intel(R) Ethernet X550", "{nic=\"Ethernet 2\"} 1\n"},
        {"VPN", "Tap (A) #3 / B\\C", "{nic=\"Tap [A] _3 _ B_C\"} 2\n"}};
    json doc = {{"net_io", json::array()}};
    for (unsigned i = 0; i < 3; i++)
        doc["net_io"].push_back(
            {{"name", rows[i][0]}, {"description", rows[i][1]}, {"filter", 0}, {"rx_bytes", i}});
    std::string nics = prometheus_text(doc);
    for (const auto &r : rows)
        EXPECT_NE(nics.find(r[2]), std::string::npos) << r[2] << nics;
    /* Without the process list, the count of the process_count section. */
    std::string counted = prometheus_text(json{{"process_count", {{"total", 187}}}});
    EXPECT_NE(counted.find("\nhostlens_system_processes 187\n"), std::string::npos);
}

/* Every platform operation failing from its first call on: whatever the
 * documents then hold, the text stays valid and lint-clean. */
TEST(Prometheus, FailureDocumentsPassPromtool)
{
    std::set<std::string> outputs;
    for (int op = 0; op < FAKE_OP_COUNT; op++) {
        fake_reset();
        script_machine();
        fake_fail((fake_op)op, 1, true);
        const char *text = hostlens_collect(default_sections().c_str());
        if (text == nullptr)
            continue; /* memory exhausted: the program reports it instead */
        std::string prom = prometheus_text(json::parse(text));
        expect_unique(prom);
        outputs.insert(prom);
    }
    EXPECT_GT(outputs.size(), 10u);
    for (const std::string &prom : outputs)
        EXPECT_EQ(promtool(prom), 0) << prom;
}
