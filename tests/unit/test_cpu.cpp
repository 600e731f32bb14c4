/*
 * CPU: name and speed parsing, topology records (malformed ones among them),
 * the usage formula, per-processor counters through the fake PDH, sleeps and
 * the release of every counter and query.
 */
#include "test_util.h"

#include <math.h>

#include "hl_cpu.h"

namespace
{

const char *const CPU_KEY = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

void set_name(const char *name)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, CPU_KEY, "ProcessorNameString", name);
}

std::vector<uint8_t> records(uint32_t relationship, int n, uint32_t size = 48)
{
    std::vector<uint8_t> all;
    for (int i = 0; i < n; i++) {
        std::vector<uint8_t> r = fake_lpi_record(relationship, size);
        all.insert(all.end(), r.begin(), r.end());
    }
    return all;
}

std::string path(unsigned g, unsigned k)
{
    return "\\\\.\\Processor Information(" + std::to_string(g) + "," + std::to_string(k) +
           ")\\% Processor Time";
}

hl_cpu_info_t collect()
{
    hl_cpu_info_t r;
    hl_impl_cpu(&r);
    return r;
}

} // namespace

TEST(Cpu, SpeedFromTheName)
{
    struct {
        const char *name;
        int64_t mhz;
    } cases[] = {
        {"Dual-Core Processor @ 3.6GHz", 3600},
        {"Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz", 3200},
        {"Processor @ 3.60GHz", 3600}, /* the whole number, not its last three characters */
        {"Processor @ 2400MHz", 2400},
        {"Processor @ 800MHz", 800},
        {"Processor @ 2.40 GHz", 2400},
        {"Processor @ 3.2GHz 800MHz", 3200}, /* GHz wins */
        {"Processor @ 900MHz 3.2GHz", 3200},
        {"A @ 1.5GHz @ 500MHz", 500}, /* after the last @ only */
        {"@3GHz", 3000},
        {"Processor @ 1MHz", 1},
        {"AMD EPYC", -1},
        {"3.6GHz without an at sign", -1},
        {"Processor @ GHz", -1},
        {"Processor @ 0GHz", -1},
        {"Processor @ 0.0001GHz", -1},
        {"Processor @ -3GHz", -1},
        {"Processor @ 3.6 Hz", -1},
        {"Processor @ 99999999999999999999GHz", -1},
        {"", -1},
    };
    for (auto &c : cases)
        EXPECT_EQ(hl_impl_cpu_speed_mhz(c.name), c.mhz) << c.name;
    EXPECT_EQ(hl_impl_cpu_speed_mhz(nullptr), -1);
}

TEST(Cpu, NameAndSpeedMembers)
{
    static const std::string too_long(300, 'x');
    struct {
        const char *stored;
        const char *members;
    } cases[] = {
        {"  Dual-Core Processor @ 3.6GHz \r\n",
         "\"model\":\"Dual-Core Processor @ 3.6GHz\",\"speeds\":2880,3600,3600.0"},
        {"Slow @ 800MHz", "\"model\":\"Slow @ 800MHz\",\"speeds\":640,800,800.0"},
        {"Odd @ 2999MHz", "\"model\":\"Odd @ 2999MHz\",\"speeds\":2399,2999,2999.0"},
        {"Tiny @ 1MHz", "\"model\":\"Tiny @ 1MHz\",\"speeds\":0,1,1.0"},
        {"   ", "\"model\":\"unknown\",\"speeds\":-1,-1,-1.0"},
        {"AMD EPYC", "\"model\":\"AMD EPYC\",\"speeds\":-1,-1,-1.0"},
        {too_long.c_str(), "\"model\":\"unknown\",\"speeds\":-1,-1,-1.0"},
    };
    for (auto &c : cases) {
        fake_reset();
        set_name(c.stored);
        hl_cpu_info_t r = collect();
        char got[512];
        snprintf(got, sizeof got, "\"model\":\"%s\",\"speeds\":%lld,%lld,%.1f", r.model,
                 (long long)r.speed_min_mhz, (long long)r.speed_max_mhz, r.speed_avg_mhz);
        EXPECT_EQ(std::string(got), c.members) << c.stored;
    }
}

TEST(Cpu, SpeedFromTheRegistryWhenTheNameStatesNone)
{
    const uint8_t mhz[] = {0x86, 0x0a, 0, 0}; /* 2694 */
    struct {
        const char *name; /* nullptr: no name at all */
        uint32_t type;
        const void *data;
        uint32_t size;
        const char *speeds;
    } cases[] = {
        {"AMD EPYC", 4, mhz, 4, "2155,2694,2694.0"},
        {nullptr, 4, mhz, 4, "2155,2694,2694.0"},
        {"Processor @ 3.6GHz", 4, mhz, 4, "2880,3600,3600.0"}, /* the name's speed wins */
        {"AMD EPYC", 4, "\x01\0\0\0", 4, "0,1,1.0"},
        {"AMD EPYC", 4, "\0\0\0\0", 4, "-1,-1,-1.0"},
        {"AMD EPYC", 4, "\x9c\xff\xff\xff", 4, "-1,-1,-1.0"}, /* negative */
        {"AMD EPYC", 1, u"2694", 10, "-1,-1,-1.0"},
        {"AMD EPYC", 0, nullptr, 0, "-1,-1,-1.0"},
    };
    for (const auto &c : cases) {
        fake_reset();
        if (c.name != nullptr)
            set_name(c.name);
        if (c.type != 0)
            fake_reg_set(HL_HKEY_LOCAL_MACHINE, CPU_KEY, "~MHz", c.type, c.data, c.size);
        hl_cpu_info_t r = collect();
        char got[96];
        snprintf(got, sizeof got, "%lld,%lld,%.1f", (long long)r.speed_min_mhz,
                 (long long)r.speed_max_mhz, r.speed_avg_mhz);
        EXPECT_STREQ(got, c.speeds) << (c.name ? c.name : "no name") << " type " << c.type;
        EXPECT_TRUE(fake_all_released());
    }
}

TEST(Cpu, RecordWalkEndsAtMalformedRecords)
{
    std::vector<uint8_t> good = records(0, 3);
    EXPECT_EQ(hl_impl_cpu_count_records(good.data(), good.size(), 0), 3);
    EXPECT_EQ(hl_impl_cpu_count_records(good.data(), good.size(), 3), 0);

    std::vector<uint8_t> mixed = records(0, 2, 8);
    std::vector<uint8_t> pkg = records(3, 1, 80);
    mixed.insert(mixed.end(), pkg.begin(), pkg.end());
    EXPECT_EQ(hl_impl_cpu_count_records(mixed.data(), mixed.size(), 0), 2);
    EXPECT_EQ(hl_impl_cpu_count_records(mixed.data(), mixed.size(), 3), 1);

    /* The third record's size is bad: it is not counted and the walk ends. */
    struct {
        uint32_t bad_size;
        int64_t counted;
    } cases[] = {
        {0, 2},          /* would never advance */
        {4, 2},          /* smaller than its own header */
        {7, 2},          /* likewise */
        {49, 2},         /* runs one byte past the data */
        {0xFFFFFFF0, 2}, /* far past it */
        {48, 3},
    };
    for (auto &c : cases) {
        std::vector<uint8_t> b = records(0, 3);
        for (int i = 0; i < 4; i++)
            b[96 + 4 + i] = (uint8_t)(c.bad_size >> (8 * i));
        EXPECT_EQ(hl_impl_cpu_count_records(b.data(), b.size(), 0), c.counted) << c.bad_size;
    }
    /* A zero size in the middle hides what follows. */
    std::vector<uint8_t> stuck = records(0, 3);
    stuck[48 + 4] = 0;
    EXPECT_EQ(hl_impl_cpu_count_records(stuck.data(), stuck.size(), 0), 1);
    /* Every truncation of a valid span stays inside it. */
    for (size_t n = 0; n <= good.size(); n++) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + (long)n);
        EXPECT_EQ(hl_impl_cpu_count_records(cut.data(), cut.size(), 0), (int64_t)(n / 48));
    }
    EXPECT_EQ(hl_impl_cpu_count_records(nullptr, 0, 0), 0);
}

TEST(Cpu, Topology)
{
    fake_set_processor_count(16);
    fake_set_lpi(0, records(0, 8));
    fake_set_lpi(3, records(3, 1, 80));
    hl_cpu_info_t r = collect();
    EXPECT_EQ(r.sockets, 1);
    EXPECT_EQ(r.physical_cores, 8);
    EXPECT_EQ(r.logical_cores, 16);

    fake_set_lpi(3, records(3, 2, 80));
    r = collect();
    EXPECT_EQ(r.sockets, 2);

    /* Nothing reported, the size query failing, the filling call failing,
     * no memory for the block: the fallbacks. */
    void (*faults[])() = {
        [] {},
        [] { fake_fail(FAKE_LOGICAL_PROCESSOR_INFO, 1, true); },
        [] {
            fake_set_lpi(0, records(0, 8));
            fake_set_lpi(3, records(3, 1, 80));
            /* the cores' filling call fails, then the packages' size query */
            fake_fail(FAKE_LOGICAL_PROCESSOR_INFO, 2, true);
        },
        [] {
            fake_set_lpi(0, records(0, 8));
            fake_set_lpi(3, records(3, 1, 80));
            fake_fail(FAKE_ALLOC, 1, true);
        },
    };
    for (auto fault : faults) {
        fake_reset();
        fake_set_processor_count(6);
        fault();
        long heap = fake_outstanding(FAKE_RES_HEAP);
        r = collect();
        EXPECT_EQ(r.physical_cores, 6);
        EXPECT_EQ(r.sockets, 1);
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    }
}

TEST(Cpu, UsageFromTwoSamples)
{
    struct {
        uint64_t a[3], b[3];
        uint64_t own; /* the calling thread's busy time in between */
        double usage;
    } cases[] = {
        {{0, 0, 0}, {1500000, 2000000, 0}, 0, 25.0},
        {{0, 0, 0}, {1500000, 2000000, 0}, 300000, 10.0},
        {{0, 0, 0}, {1500000, 2000000, 0}, 900000, 0.0},              /* never below 0 */
        {{100, 1000, 500}, {100, 1000, 500}, 0, -1.0},                /* no time elapsed */
        {{1000, 3000, 0}, {1000, 3000, 4000}, 0, 100.0},              /* no idle */
        {{0, 0, 0}, {1000, 1000, 0}, 0, 0.0},                         /* all idle */
        {{0, 0, 0}, {3000, 2000, 0}, 0, -1.0},                        /* idle beyond the total */
        {{UINT64_MAX - 9, UINT64_MAX - 99, 0}, {0, 100, 0}, 0, 95.0}, /* counters wrapped */
    };
    for (auto &c : cases)
        EXPECT_EQ(hl_impl_cpu_usage(c.a, c.b, c.own), c.usage) << c.b[0] << "," << c.own;

    fake_push_system_times(0, 0, 0);
    fake_push_system_times(1500000, 2000000, 0);
    EXPECT_EQ(collect().usage_percent, 25.0);
    EXPECT_EQ(fake_calls(FAKE_SYSTEM_TIMES), 2);

    for (int failing = 1; failing <= 2; failing++) {
        fake_reset();
        fake_push_system_times(0, 0, 0);
        fake_push_system_times(1500000, 2000000, 0);
        fake_fail(FAKE_SYSTEM_TIMES, failing);
        EXPECT_EQ(collect().usage_percent, -1.0) << failing;
    }
}

TEST(Cpu, CounterPathsFollowTheProcessorGroups)
{
    std::vector<uint8_t> groups = records(0, 1);
    std::vector<uint8_t> g = fake_lpi_groups({2, 3});
    groups.insert(groups.end(), g.begin(), g.end());
    uint32_t active[HL_CPU_MAX_GROUPS];
    ASSERT_EQ(hl_impl_cpu_groups(groups.data(), groups.size(), active, HL_CPU_MAX_GROUPS), 2);
    EXPECT_EQ(active[0], 2u);
    EXPECT_EQ(active[1], 3u);
    /* A group record cut short keeps the groups it fully holds. */
    EXPECT_EQ(hl_impl_cpu_groups(g.data(), 32 + 48 + 47, active, HL_CPU_MAX_GROUPS), 0);
    std::vector<uint8_t> short_rec = g;
    short_rec[4] = 32 + 48 + 47;
    EXPECT_EQ(hl_impl_cpu_groups(short_rec.data(), short_rec.size(), active, 64), 1);
    short_rec[4] = 31;
    EXPECT_EQ(hl_impl_cpu_groups(short_rec.data(), short_rec.size(), active, 64), 0);
    EXPECT_EQ(hl_impl_cpu_groups(g.data(), g.size(), active, 1), 1);

    fake_set_processor_count(6);
    fake_set_lpi(4, groups);
    hl_cpu_info_t r = collect();
    std::vector<std::string> want = {path(0, 0), path(0, 1), path(1, 0), path(1, 1), path(1, 2)};
    EXPECT_EQ(fake_pdh_paths(), want); /* a sixth processor is in no group */
    EXPECT_EQ(r.per_core_count, 0);

    /* Without group records: group 0, number i. */
    fake_reset();
    fake_set_processor_count(2);
    collect();
    EXPECT_EQ(fake_pdh_paths(), (std::vector<std::string>{path(0, 0), path(0, 1)}));
}

TEST(Cpu, PerProcessorValuesKeepTheirPositions)
{
    /* Processor 1's value is no percentage, 3's is NaN, 4's counter cannot
     * be added, 5's cannot be read: each keeps its place, as -1.0. */
    fake_set_processor_count(7);
    fake_pdh_counter(path(0, 0).c_str(), 5.0);
    fake_pdh_counter(path(0, 1).c_str(), 101.0);
    fake_pdh_counter(path(0, 2).c_str(), 7.5);
    fake_pdh_counter(path(0, 3).c_str(), NAN);
    fake_pdh_counter(path(0, 5).c_str(), 50.0, (long)0xC0000BC6u);
    fake_pdh_counter(path(0, 6).c_str(), 100.0);
    hl_cpu_info_t r = collect();
    std::string doc = written([&](hl_json_t *j) { hl_write_cpu(j, &r); });
    EXPECT_EQ(doc.substr(doc.rfind(':') + 1), "[5.0,-1.0,7.5,-1.0,-1.0,-1.0,100.0]");
    EXPECT_EQ(fake_sleeps(), (std::vector<uint32_t>{200, 200}));
    EXPECT_EQ(fake_calls(FAKE_PDH_COLLECT), 2);
    EXPECT_EQ(fake_calls(FAKE_PDH_REMOVE), 6);
    EXPECT_TRUE(fake_all_released());
}

TEST(Cpu, MoreThan64LogicalProcessors)
{
    /* GetSystemInfo sees the calling thread's group only. */
    fake_set_processor_count(64);
    fake_set_lpi(4, fake_lpi_groups({64, 64, 8}));
    for (unsigned g = 0; g < 2; g++)
        for (unsigned k = 0; k < 64; k++)
            fake_pdh_counter(path(g, k).c_str(), g * 64 + k == 127 ? 12.5 : 1.0);
    hl_cpu_info_t r = collect();
    EXPECT_EQ(r.logical_cores, 136);
    EXPECT_EQ(r.physical_cores, 136);
    ASSERT_EQ(r.per_core_count, 128);
    EXPECT_EQ(fake_pdh_paths()[64], path(1, 0));
    EXPECT_EQ(r.per_core_percent[127], 12.5);
    EXPECT_TRUE(fake_all_released());

    /* The usage of every group's processors, GetSystemTimes seeing one
     * group only: each busy a quarter of the window, but one whose kernel
     * time lags its idle time, which spent none outside idle. */
    auto times = [](uint64_t idle, uint64_t kernel) {
        for (uint16_t g = 0; g < 3; g++)
            fake_set_processor_times(
                g, std::vector<fake_cpu_time_t>(g < 2 ? 64 : 8,
                                                fake_cpu_time_t{idle, kernel, 0, 0, 0}));
    };
    times(1000, 1000);
    hl_cpu_window_t w;
    hl_impl_cpu_open(&r, &w);
    times(1075, 1100);
    std::vector<fake_cpu_time_t> last(8, fake_cpu_time_t{1075, 1100, 0, 0, 0});
    last[7].kernel = 1050;
    fake_set_processor_times(2, last);
    hl_impl_cpu_close(&r, &w);
    /* 135 processors busy 25 of 100, one 0 of 75: 3,375 of 13,575. */
    EXPECT_DOUBLE_EQ(r.usage_percent, 3375.0 * 100 / 13575);
    EXPECT_EQ(fake_calls(FAKE_SYSTEM_TIMES), 0);
    EXPECT_TRUE(fake_all_released());
}

TEST(Cpu, AtMost128Counters)
{
    fake_set_processor_count(200);
    for (unsigned k = 0; k < 200; k++)
        fake_pdh_counter(path(0, k).c_str(), 1.0);
    hl_cpu_info_t r = collect();
    EXPECT_EQ(fake_pdh_paths().size(), 128u);
    EXPECT_EQ(fake_calls(FAKE_PDH_REMOVE), 128);
    EXPECT_EQ(r.per_core_count, 128);
    EXPECT_EQ(r.logical_cores, 200);
    EXPECT_TRUE(fake_all_released());
}

TEST(Cpu, EveryPathReleasesCountersAndQuery)
{
    struct {
        const char *what;
        void (*fault)();
        int removes;
        int closes;
        std::vector<uint32_t> sleeps;
        const char *values;
    } cases[] = {
        {"all good", [] {}, 2, 1, {200, 200}, "[10.0,20.0]"},
        {"open fails", [] { fake_fail(FAKE_PDH_OPEN, 1); }, 0, 0, {200}, "[]"},
        {"every add fails", [] { fake_fail(FAKE_PDH_ADD, 1, true); }, 0, 1, {200}, "[]"},
        {"first add fails", [] { fake_fail(FAKE_PDH_ADD, 1); }, 1, 1, {200, 200}, "[-1.0,20.0]"},
        {"second collection fails", [] { fake_fail(FAKE_PDH_COLLECT, 2); }, 2, 1, {200, 200}, "[]"},
        {"first collection fails", [] { fake_fail(FAKE_PDH_COLLECT, 1); }, 2, 1, {200, 200}, "[]"},
        {"reads fail", [] { fake_fail(FAKE_PDH_VALUE, 1, true); }, 2, 1, {200, 200}, "[]"},
        {"second read fails",
         [] { fake_fail(FAKE_PDH_VALUE, 2); },
         2,
         1,
         {200, 200},
         "[10.0,-1.0]"},
        {"no processors", [] { fake_set_processor_count(0); }, 0, 1, {200}, "[]"},
    };
    for (auto &c : cases) {
        fake_reset();
        fake_set_processor_count(2);
        fake_pdh_counter(path(0, 0).c_str(), 10.0);
        fake_pdh_counter(path(0, 1).c_str(), 20.0);
        c.fault();
        hl_cpu_info_t r = collect();
        std::string doc = written([&](hl_json_t *j) { hl_write_cpu(j, &r); });
        EXPECT_EQ(doc.substr(doc.rfind(':') + 1), c.values) << c.what;
        EXPECT_EQ(fake_calls(FAKE_PDH_REMOVE), c.removes) << c.what;
        EXPECT_EQ(fake_calls(FAKE_PDH_CLOSE), c.closes) << c.what;
        EXPECT_EQ(fake_sleeps(), c.sleeps) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
}

TEST(Cpu, Document)
{
    set_name("Dual-Core Processor @ 3.6GHz");
    fake_set_processor_count(4);
    fake_set_lpi(0, records(0, 2));
    fake_set_lpi(3, records(3, 1));
    fake_set_lpi(4, fake_lpi_groups({4}));
    fake_push_system_times(1000, 2000, 3000);
    fake_push_system_times(1000 + 925000, 2000 + 600000, 3000 + 400000);
    double values[] = {3.1, 0.0, 12.5, 100.0};
    for (unsigned k = 0; k < 4; k++)
        fake_pdh_counter(path(0, k).c_str(), values[k]);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    collect();
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    EXPECT_TRUE(fake_all_released());
    fake_push_system_times(1000, 2000, 3000);
    fake_push_system_times(1000 + 925000, 2000 + 600000, 3000 + 400000);
    fake_set_cpuid(0, 0, 1, 0, 0, 0);
    fake_set_cpuid(1, 0, 0x000906EA, 0, 0, 1u | 1u << 4 | 1u << 26); /* fpu, tsc, sse2 */
    EXPECT_EQ(doc(hostlens_cpu()),
              "{\"cpu\":{\"model\":\"Dual-Core Processor @ 3.6GHz\",\"physical_id\":\"0\","
              "\"family\":6,\"model_number\":158,\"stepping\":10,"
              "\"flags_count\":3,\"sockets\":1,\"physical_cores\":2,"
              "\"logical_cores\":4,\"speed_min_mhz\":2880,\"speed_max_mhz\":3600,"
              "\"speed_avg_mhz\":3600.0,\"usage_percent\":7.5,"
              "\"per_core_percent\":[3.1,0.0,12.5,100.0]}}");

    /* Nothing known at all. */
    fake_reset();
    fake_set_processor_count(1);
    EXPECT_EQ(doc(hostlens_cpu()),
              "{\"cpu\":{\"model\":\"unknown\",\"physical_id\":\"0\",\"family\":\"unknown\","
              "\"model_number\":\"unknown\",\"stepping\":\"unknown\",\"flags_count\":"
              "\"unknown\",\"sockets\":1,\"physical_cores\":1,\"logical_cores\":1,"
              "\"speed_min_mhz\":\"unknown\",\"speed_max_mhz\":\"unknown\","
              "\"speed_avg_mhz\":\"unknown\",\"usage_percent\":\"unknown\","
              "\"per_core_percent\":[]}}");
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["cpu"], parsed(hostlens_cpu())["cpu"]);
}

TEST(Cpu, ParsersStayInsideMutatedSpans)
{
    std::vector<uint8_t> span = records(0, 2);
    std::vector<uint8_t> g = fake_lpi_groups({4, 4, 2});
    span.insert(span.end(), g.begin(), g.end());
    uint32_t seed = 777;
    for (int round = 0; round < 3000; round++) {
        std::vector<uint8_t> m = span;
        for (int k = 0; k < 3; k++) {
            seed = seed * 1103515245u + 12345u;
            size_t at = (seed >> 8) % m.size();
            seed = seed * 1103515245u + 12345u;
            m[at] = (uint8_t)(seed >> 16);
        }
        /* Exactly sized, so a read past the span is caught by the sanitizer. */
        m.resize((seed >> 4) % (m.size() + 1));
        uint32_t active[HL_CPU_MAX_GROUPS];
        int n = hl_impl_cpu_groups(m.data(), m.size(), active, HL_CPU_MAX_GROUPS);
        ASSERT_GE(n, 0);
        ASSERT_LE((size_t)n * 48 + 32, m.size() + (n == 0 ? 32 : 0));
        ASSERT_LE(hl_impl_cpu_count_records(m.data(), m.size(), 0), (int64_t)(m.size() / 8));
    }
}

TEST(CpuCounterPath, GroupAndNumberOfEveryWidth)
{
    const uint32_t active[2] = {64, 64};
    struct {
        uint32_t index;
        int groups;
        unsigned g, k;
    } cases[] = {
        {0, 2, 0, 0},
        {9, 2, 0, 9},
        {10, 2, 0, 10},
        {63, 2, 0, 63},
        {64, 2, 1, 0},
        {127, 2, 1, 63},
        {4294967295u, 0, 0, 4294967295u},
    };
    for (const auto &c : cases) {
        char16_t out[256];
        ASSERT_EQ(hl_impl_cpu_counter_path(c.index, active, c.groups, out, 256), 1) << c.index;
        EXPECT_EQ(fake_u8(out), path(c.g, c.k)) << c.index;
    }
    char16_t out[256];
    EXPECT_EQ(hl_impl_cpu_counter_path(128, active, 2, out, 256), 0); /* beyond the groups */
    size_t n = path(0, 10).size();
    EXPECT_EQ(hl_impl_cpu_counter_path(10, active, 2, out, n + 1), 1); /* the NUL just fits */
    EXPECT_EQ(hl_impl_cpu_counter_path(10, active, 2, out, n), 0);
}
