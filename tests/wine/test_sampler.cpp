/*
 * The real DLL's sampler under Wine, against the test's own reading of
 * /proc (through Z:, the host's root) over the same interval: between two
 * reads the test sends a few MB through a loopback TCP connection of its
 * own and keeps a thread busy; the loopback's byte rate must match the
 * test's /proc/net/dev deltas within 20%, and the CPU usage its /proc/stat
 * deltas within 15 points; this process's share among the busiest
 * processes must match its own GetProcessTimes within 20 points. Wine
 * takes processor times from /proc/stat:
 * idle time is `idle`, and everything else is busy.
 */
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "wine_common.h"

#include <stdio.h>

#include <atomic>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

using json = nlohmann::ordered_json;

typedef void *(*open_fn)(void);
typedef const char *(*read_fn)(void *, const char *);
typedef void (*close_fn)(void *);

struct sampler_api {
    open_fn open;
    read_fn read;
    close_fn close;
};

sampler_api api()
{
    return {(open_fn)(void *)GetProcAddress(hl_dll, "hostlens_sampler_open"),
            (read_fn)(void *)GetProcAddress(hl_dll, "hostlens_sampler_read"),
            (close_fn)(void *)GetProcAddress(hl_dll, "hostlens_sampler_close")};
}

/* The "cpu" line of /proc/stat: busy and all ticks, every processor. */
void proc_cpu(unsigned long long *busy, unsigned long long *total)
{
    std::istringstream in(hl_read_file("Z:\\proc\\stat"));
    std::string word;
    in >> word;
    unsigned long long v[8] = {0};
    for (auto &x : v)
        in >> x;
    *total = 0;
    for (auto x : v)
        *total += x;
    *busy = *total - v[3];
}

/* Received bytes of one interface in /proc/net/dev. */
unsigned long long proc_rx_bytes(const std::string &name)
{
    std::istringstream in(hl_read_file("Z:\\proc\\net\\dev"));
    for (std::string line; std::getline(in, line);) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string n = line.substr(0, colon);
        n.erase(0, n.find_first_not_of(' '));
        if (n == name)
            return std::stoull(line.substr(colon + 1));
    }
    return 0;
}

/* Sends `bytes` from one end of a loopback TCP connection to the other. */
bool loopback_traffic(size_t bytes)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (bind(listener, (sockaddr *)&a, sizeof a) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, (sockaddr *)&a, &len) != 0)
        return false;
    SOCKET out = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(out, (sockaddr *)&a, sizeof a) != 0)
        return false;
    SOCKET in = accept(listener, NULL, NULL);
    std::thread sender([&] {
        std::vector<char> block(65536, 'x');
        for (size_t sent = 0; sent < bytes;) {
            int n = send(out, block.data(), (int)block.size(), 0);
            if (n <= 0)
                break;
            sent += (size_t)n;
        }
        shutdown(out, SD_SEND);
    });
    std::vector<char> buf(65536);
    size_t got = 0;
    for (int n; (n = recv(in, buf.data(), (int)buf.size(), 0)) > 0;)
        got += (size_t)n;
    sender.join();
    closesocket(in);
    closesocket(out);
    closesocket(listener);
    return got == bytes;
}

} // namespace

TEST(WineSampler, LoopbackRateCpuUsageAndThisProcessAgainstTheirSources)
{
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    sampler_api s = api();
    ASSERT_TRUE(s.open != NULL && s.read != NULL && s.close != NULL);
    void *sampler = s.open();
    ASSERT_NE(sampler, nullptr);
    /* The interval starts at this read: the test's own readings follow it
     * at once, and again after the next read. */
    ASSERT_NE(s.read(sampler, "cpu,net_io,processes:0"), nullptr);
    FILETIME c, e, k0, u0, k1, u1;
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0));
    unsigned long long busy0, total0, busy1, total1;
    proc_cpu(&busy0, &total0);
    unsigned long long rx0 = proc_rx_bytes("lo");

    std::atomic<bool> spin{true};
    std::thread busy([&] {
        volatile unsigned long long x = 0;
        while (spin)
            x = x + 1;
    });
    ASSERT_TRUE(loopback_traffic(8u << 20));
    Sleep(500);
    spin = false;
    busy.join();

    const char *text = s.read(sampler, "cpu,net_io,processes:100");
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1));
    proc_cpu(&busy1, &total1);
    unsigned long long rx1 = proc_rx_bytes("lo");
    ASSERT_NE(text, nullptr);
    json d = hl_parse(text);
    s.close(sampler);
    WSACleanup();

    double interval = d["interval_s"].get<double>();
    ASSERT_GT(interval, 0.4) << text;
    double own_rate = (double)(rx1 - rx0) / interval;
    const json *lo = nullptr;
    for (const json &e : d["net_io"])
        if (e["name"] == "lo")
            lo = &e;
    ASSERT_NE(lo, nullptr) << text;
    double rate = (*lo)["rx_bytes_per_s"].get<double>();
    printf("loopback: %.0f B/s by the sampler, %.0f B/s by /proc/net/dev over %.3f s\n", rate,
           own_rate, interval);
    EXPECT_GE(own_rate, 8.0 * (1 << 20) / interval);
    EXPECT_NEAR(rate, own_rate, 0.2 * own_rate);

    double own_usage = 100.0 * (double)(busy1 - busy0) / (double)(total1 - total0);
    double usage = d["cpu"]["usage_percent"].get<double>();
    printf("cpu: %.1f%% by the sampler, %.1f%% by /proc/stat\n", usage, own_usage);
    EXPECT_NEAR(usage, own_usage, 15.0);
    EXPECT_EQ(d["cpu"]["per_core_percent"].size(), d["cpu"]["logical_cores"].get<size_t>());

    /* This process, busy on two threads, is among the busiest, at its own
     * processor time over the interval. */
    auto ticks = [](const FILETIME &f) {
        return (double)(((ULONGLONG)f.dwHighDateTime << 32) | f.dwLowDateTime);
    };
    double own = (ticks(k1) + ticks(u1) - ticks(k0) - ticks(u0)) / 1e7 / interval * 100.0;
    int found = 0;
    for (const json &p : d["processes"]) {
        if (p["pid"] != GetCurrentProcessId())
            continue;
        found++;
        printf("this process: %s%% by the sampler, %.1f%% by GetProcessTimes\n",
               p["cpu_percent"].dump().c_str(), own);
        EXPECT_NEAR(p["cpu_percent"].get<double>(), own, 20.0);
    }
    EXPECT_EQ(found, 1) << text;
}

TEST(WineSampler, ManyReadsKeepTheHeapFlat)
{
    sampler_api s = api();
    /* What the process keeps after first use is behind us. */
    s.close(s.open());
    const unsigned long long before = hl_heap_in_use();
    void *sampler = s.open();
    ASSERT_NE(sampler, nullptr);
    const unsigned long long opened = hl_heap_in_use();
    for (int i = 0; i < 100; i++)
        ASSERT_NE(s.read(sampler, NULL), nullptr);
    const unsigned long long heap0 = hl_heap_in_use();
    for (int i = 0; i < 10000; i++)
        ASSERT_NE(s.read(sampler, "cpu,memory,net_io"), nullptr);
    const unsigned long long heap1 = hl_heap_in_use();
    s.close(sampler);
    const unsigned long long closed = hl_heap_in_use();
    printf("a sampler holds %llu bytes once open, %llu after 100 reads of its four modules, "
           "%llu after 10,000 more reads; %llu once closed\n",
           opened - before, heap0 - before, heap1 - before, closed - before);
    EXPECT_LE(heap1, heap0 + 4096);
    EXPECT_LE(closed, before + 4096);
}
