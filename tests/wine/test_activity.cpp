/*
 * The real DLL under Wine: processor times, interface counters and the
 * process list against the test's own reading of /proc/stat and
 * /proc/net/dev (through Z:, the host's root) taken just before and just
 * after each call, and against its own Win32 calls. Wine takes processor
 * times from /proc/stat in USER_HZ (100 a second): idle time is `idle`,
 * user time `user + nice`, kernel time `idle + system + iowait + irq +
 * softirq + steal`.
 */
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <winternl.h>

#include "wine_common.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hl_activity.h"

static_assert(sizeof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION) == HL_PPI_SIZE, "48 bytes");
static_assert(offsetof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, UserTime) == HL_PPI_USER, "user");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, CreateTime) == HL_SPI_CREATE_TIME, "create");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) == HL_SPI_NAME_LENGTH, "name");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId) == HL_SPI_PID, "pid");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, InheritedFromUniqueProcessId) == HL_SPI_PPID,
              "ppid");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, HandleCount) == HL_SPI_HANDLES, "handles");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, VirtualMemoryCounters) +
                      offsetof(VM_COUNTERS, WorkingSetSize) ==
                  HL_SPI_WORKING_SET,
              "working set");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, VirtualMemoryCounters) +
                      offsetof(VM_COUNTERS, PagefileUsage) ==
                  HL_SPI_PRIVATE,
              "private bytes");
static_assert(sizeof(SYSTEM_PROCESS_INFORMATION) == HL_SPI_SIZE, "fixed part");

namespace
{

using json = nlohmann::ordered_json;

/* cpuN lines of /proc/stat: user, nice, system, idle, iowait, irq, softirq,
 * steal. */
std::vector<std::vector<unsigned long long>> proc_stat()
{
    std::vector<std::vector<unsigned long long>> cpus;
    std::istringstream in(hl_read_file("Z:\\proc\\stat"));
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 3, "cpu") != 0 || line.size() < 4 || !isdigit((unsigned char)line[3]))
            continue;
        std::istringstream fields(line.substr(line.find(' ')));
        std::vector<unsigned long long> v(8, 0);
        for (auto &x : v)
            fields >> x;
        cpus.push_back(v);
    }
    return cpus;
}

/* /proc/net/dev: the interface's received bytes and packets, then its sent
 * bytes and packets. */
std::map<std::string, std::vector<unsigned long long>> proc_net_dev()
{
    std::map<std::string, std::vector<unsigned long long>> ifs;
    std::istringstream in(hl_read_file("Z:\\proc\\net\\dev"));
    for (std::string line; std::getline(in, line);) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        std::istringstream fields(line.substr(colon + 1));
        unsigned long long v[16] = {0};
        for (auto &x : v)
            fields >> x;
        ifs[name] = {v[0], v[1], v[8], v[9]};
    }
    return ifs;
}

json collect(const char *module)
{
    typedef const char *(*collect_fn)(const char *);
    collect_fn f = (collect_fn)(void *)GetProcAddress(hl_dll, "hostlens_collect");
    EXPECT_NE(f, nullptr);
    const char *text = f != NULL ? f(module) : NULL;
    EXPECT_NE(text, nullptr);
    json d = hl_parse(text != NULL ? text : "null");
    EXPECT_TRUE(d.is_object() && d.contains(module)) << (text != NULL ? text : "NULL");
    return d.is_object() && d.contains(module) ? d[module] : json();
}

/* A document's seconds in USER_HZ ticks, for comparing with /proc. */
double ticks(const json &seconds)
{
    return seconds.is_number() ? seconds.get<double>() * 100.0 : -1.0;
}

} // namespace

TEST(Activity, ProcessorTimesWithinTheProcReadingsAroundTheCall)
{
    auto before = proc_stat();
    json times = collect("cpu_times");
    auto after = proc_stat();
    ASSERT_FALSE(before.empty()) << "no cpu lines in /proc/stat";
    ASSERT_EQ(times["cores"].size(), before.size()) << times.dump();
    double user_sum = 0;
    for (size_t i = 0; i < before.size(); i++) {
        const json &core = times["cores"][i];
        const auto &b = before[i], &a = after[i];
        EXPECT_EQ(core["core"], "0," + std::to_string(i));
        struct {
            const char *member;
            unsigned long long low, high;
        } checks[] = {
            {"user_s", b[0] + b[1], a[0] + a[1]},
            {"idle_s", b[3], a[3]},
            {"privileged_s", b[2] + b[4] + b[5] + b[6] + b[7], a[2] + a[4] + a[5] + a[6] + a[7]},
        };
        for (const auto &c : checks) {
            double v = ticks(core[c.member]);
            EXPECT_GE(v, (double)c.low - 1e-6) << "cpu" << i << " " << c.member;
            EXPECT_LE(v, (double)c.high + 1e-6) << "cpu" << i << " " << c.member;
        }
        user_sum += core["user_s"].get<double>();
    }
    EXPECT_NEAR(times["user_s"].get<double>(), user_sum, 1e-6);
}

TEST(Activity, InterfaceCountersWithinTheProcReadingsAroundTheCall)
{
    auto before = proc_net_dev();
    json ifs = collect("net_io");
    auto after = proc_net_dev();
    ASSERT_FALSE(before.empty());

    /* The test's own table, for what /proc does not say. */
    PMIB_IF_TABLE2 own = NULL;
    ASSERT_EQ(GetIfTable2(&own), 0u);
    std::map<std::string, const MIB_IF_ROW2 *> rows;
    for (ULONG i = 0; i < own->NumEntries; i++) {
        char alias[800];
        WideCharToMultiByte(CP_UTF8, 0, own->Table[i].Alias, -1, alias, sizeof alias, NULL, NULL);
        rows[alias] = &own->Table[i];
    }
    size_t seen = 0;
    for (const json &e : ifs) {
        std::string name = e["name"];
        auto b = before.find(name), a = after.find(name);
        if (b == before.end() || a == after.end())
            continue;
        seen++;
        const char *members[] = {"rx_bytes", "rx_packets", "tx_bytes", "tx_packets"};
        for (int k = 0; k < 4; k++) {
            EXPECT_GE(e[members[k]].get<unsigned long long>(), b->second[k]) << name;
            EXPECT_LE(e[members[k]].get<unsigned long long>(), a->second[k]) << name;
        }
        ASSERT_TRUE(rows.count(name)) << name;
        const MIB_IF_ROW2 *r = rows[name];
        EXPECT_EQ(e["index"], r->InterfaceIndex) << name;
        EXPECT_EQ(e["hardware"], r->InterfaceAndOperStatusFlags.HardwareInterface ? 1 : 0) << name;
        EXPECT_EQ(e["filter"], r->InterfaceAndOperStatusFlags.FilterInterface ? 1 : 0) << name;
        EXPECT_EQ(e["is_up"], r->OperStatus == IfOperStatusUp ? 1 : 0) << name;
        EXPECT_EQ(e["rx_speed_bps"], r->ReceiveLinkSpeed) << name;
        char description[800];
        WideCharToMultiByte(CP_UTF8, 0, r->Description, -1, description, sizeof description, NULL,
                            NULL);
        EXPECT_EQ(e["description"], description[0] != 0 ? description : "unknown") << name;
    }
    FreeMibTable(own);
    EXPECT_EQ(seen, before.size()) << "every interface of /proc/net/dev, by its name";
}

TEST(Activity, ProcessListHoldsThisProcess)
{
    json list = collect("processes");
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    const wchar_t *base = wcsrchr(path, L'\\');
    char name[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, base != NULL ? base + 1 : path, -1, name, sizeof name, NULL,
                        NULL);
    FILETIME created, exited, kernel, user;
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
    SYSTEMTIME st;
    FileTimeToSystemTime(&created, &st);
    char start[32];
    snprintf(start, sizeof start, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay,
             st.wHour, st.wMinute, st.wSecond);
    int found = 0;
    for (const json &p : list) {
        if (p["pid"] != GetCurrentProcessId())
            continue;
        found++;
        EXPECT_EQ(p["name"], name);
        EXPECT_GE(p["threads"].get<unsigned>(), 1u);
        EXPECT_GT(p["working_set_bytes"].get<unsigned long long>(), 0u);
        EXPECT_GT(p["private_bytes"].get<unsigned long long>(), 0u);
        EXPECT_EQ(p["start_time"], start);
    }
    EXPECT_EQ(found, 1) << list.dump();
    EXPECT_GE(list.size(), 2u);
}
