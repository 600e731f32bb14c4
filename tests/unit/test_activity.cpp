/*
 * What the machine is doing: processor times of every group, interface
 * counters and the process list, from the scripted machine, from groups
 * beyond 64 processors, from values the platform refuses, over lists of
 * every length, and the readers over hand-made and malformed spans.
 */
#include "test_util.h"

#include <string.h>

#include <functional>

#include "hl_activity.h"
#include "hl_cpu.h"
#include "machine.h"

using json = nlohmann::ordered_json;

TEST(Activity, FixedDecimalsAreExact)
{
    struct {
        uint64_t n;
        unsigned decimals;
        const char *text;
    } cases[] = {
        {0, 7, "0.0000000"},
        {1, 7, "0.0000001"},
        {12345678, 7, "1.2345678"},
        {UINT64_MAX, 7, "1844674407370.9551615"},
        {UINT64_MAX, 0, "18446744073709551615"},
        {1, 3, "0.001"},
        {42, 30, "0.0000000000000000042"}, /* at most 19 decimals */
    };
    for (const auto &c : cases)
        EXPECT_EQ(written([&](hl_json_t *j) { hl_json_fixed(j, c.n, c.decimals); }), c.text);
}

/* ---- processor times ----------------------------------------------------- */

TEST(CpuTimes, ScriptedMachineExactly)
{
    script_machine();
    EXPECT_EQ(doc(hostlens_collect("cpu_times")),
              "{\"cpu_times\":{\"user_s\":3900.0000005,\"privileged_s\":1500.0000000,"
              "\"idle_s\":13900.0000000,\"interrupt_s\":0.7654342,\"dpc_s\":0.1234577,\"cores\":["
              "{\"core\":\"0,0\",\"user_s\":900.0000000,\"privileged_s\":500.0000000,"
              "\"idle_s\":3600.0000000,\"interrupt_s\":0.7654321,\"dpc_s\":0.1234567},"
              "{\"core\":\"0,1\",\"user_s\":1200.0000005,\"privileged_s\":300.0000000,"
              "\"idle_s\":3500.0000000,\"interrupt_s\":0.0000001,\"dpc_s\":0.0000000},"
              "{\"core\":\"0,2\",\"user_s\":700.0000000,\"privileged_s\":100.0000000,"
              "\"idle_s\":3800.0000000,\"interrupt_s\":0.0000020,\"dpc_s\":0.0000010},"
              "{\"core\":\"0,3\",\"user_s\":1100.0000000,\"privileged_s\":600.0000000,"
              "\"idle_s\":3000.0000000,\"interrupt_s\":0.0000000,\"dpc_s\":0.0000000}]}}");
    EXPECT_EQ(fake_system_info_log(), std::vector<std::string>{"8"});
}

/* Core i of group g: times that tell every processor apart. */
static fake_cpu_time_t core_time(unsigned g, unsigned i)
{
    uint64_t k = 1000u * g + i;
    return {100000000 * (k + 1), 100000000 * (k + 1) + 10000 * k, 10000000 * k, 7 * k, 3 * k};
}

/* One fake group per count in `active`, each answered unless refused. */
static void script_groups(const std::vector<uint8_t> &active)
{
    fake_set_lpi(HL_REL_GROUP, fake_lpi_groups(active));
    for (size_t g = 0; g < active.size(); g++) {
        std::vector<fake_cpu_time_t> cores;
        for (unsigned i = 0; i < active[g]; i++)
            cores.push_back(core_time((unsigned)g, i));
        fake_set_processor_times((uint16_t)g, cores);
    }
}

TEST(CpuTimes, EveryGroupBeyondSixtyFourProcessors)
{
    struct {
        std::vector<uint8_t> active;
    } cases[] = {{{64, 64, 8}}, {{64, 64, 64, 64}}, {{1, 1}}, {{64}}, {{2}}};
    for (const auto &c : cases) {
        fake_reset();
        script_groups(c.active);
        json d = parsed(hostlens_collect("cpu_times"))["cpu_times"];
        size_t total = 0, at = 0;
        uint64_t user = 0;
        for (uint8_t a : c.active)
            total += a;
        ASSERT_EQ(d["cores"].size(), total);
        for (size_t g = 0; g < c.active.size(); g++)
            for (unsigned i = 0; i < c.active[g]; i++, at++) {
                const json &core = d["cores"][at];
                fake_cpu_time_t t = core_time((unsigned)g, i);
                user += t.user;
                EXPECT_EQ(core["core"], std::to_string(g) + "," + std::to_string(i));
                EXPECT_DOUBLE_EQ(core["user_s"].get<double>(), t.user / 1e7);
                EXPECT_DOUBLE_EQ(core["privileged_s"].get<double>(), (t.kernel - t.idle) / 1e7);
                EXPECT_DOUBLE_EQ(core["dpc_s"].get<double>(), t.dpc / 1e7);
            }
        EXPECT_DOUBLE_EQ(d["user_s"].get<double>(), user / 1e7);
        /* One group: the plain query; several: each asked for by number. */
        std::vector<std::string> log;
        for (size_t g = 0; c.active.size() > 1 && g < c.active.size(); g++)
            log.push_back("8:" + std::to_string(g));
        EXPECT_EQ(fake_system_info_log(),
                  c.active.size() > 1 ? log : std::vector<std::string>{"8"});
    }
}

TEST(CpuTimes, RefusedValuesStayUnknown)
{
    struct {
        const char *name;
        fake_op op; /* failing at its k-th call, or from then on; FAKE_OP_COUNT: none */
        int k;
        bool persistent;
        std::vector<uint8_t> active;
        int answered;       /* entries the first group answers; -1: all */
        bool dip;           /* core 1's kernel time a moment behind its idle time */
        const char *cores;  /* each core's user_s, "u" for unknown */
        const char *totals; /* user_s and privileged_s of the sums */
    } cases[] = {
        {"2nd refused", FAKE_SYSTEM_INFO_EX, 2, false, {2, 2, 1}, -1, false, "0 1 u u 2000", "u u"},
        {"the one group refused", FAKE_SYSTEM_INFO, 1, true, {3}, -1, false, "u u u", "u u"},
        /* The caller's group answers, but it may not be the only one. */
        {"no group records", FAKE_LOGICAL_PROCESSOR_INFO, 1, true, {3}, -1, false, "0 1 2", "u u"},
        {"all answered", FAKE_OP_COUNT, 0, false, {2, 1}, -1, false, "0 1 1000", "1001 1.001"},
        /* A group with none active answers in full, whatever it lists. */
        {"empty", FAKE_OP_COUNT, 0, false, {0, 2, 1}, 1, false, "1000 1001 2000", "4001 4.001"},
        /* Cut short or overlong: every later processor keeps its place. */
        {"short", FAKE_OP_COUNT, 0, false, {2, 3}, 1, false, "0 u 1000 1001 1002", "u u"},
        {"long", FAKE_OP_COUNT, 0, false, {2, 1}, 3, false, "0 1 1000", "1001 1.001"},
        {"one core's kernel behind", FAKE_OP_COUNT, 0, false, {3}, -1, true, "0 1 2", "3 0.0015"},
    };
    for (const auto &c : cases) {
        fake_reset();
        script_groups(c.active);
        if (c.answered >= 0 || c.dip) {
            std::vector<fake_cpu_time_t> cores;
            for (unsigned i = 0; i < (c.answered >= 0 ? (unsigned)c.answered : c.active[0]); i++)
                cores.push_back(core_time(0, i));
            if (c.dip)
                cores[1].kernel = cores[1].idle - 5000;
            fake_set_processor_times(0, cores);
        }
        if (c.op != FAKE_OP_COUNT)
            fake_fail(c.op, c.k, c.persistent);
        json d = parsed(hostlens_collect("cpu_times"))["cpu_times"];
        auto show = [](const json &v) {
            if (v.is_string())
                return std::string("u");
            char buf[32];
            snprintf(buf, sizeof buf, "%g", v.get<double>());
            return std::string(buf);
        };
        std::string cores;
        for (const json &core : d["cores"])
            cores += (cores.empty() ? "" : " ") + show(core["user_s"]);
        EXPECT_EQ(cores, c.cores) << c.name;
        std::string labels, places; /* every processor at its own place */
        for (const json &core : d["cores"])
            labels += core["core"].get<std::string>() + " ";
        for (size_t g = 0; g < c.active.size(); g++)
            for (unsigned i = 0; i < c.active[g]; i++)
                places += std::to_string(g) + "," + std::to_string(i) + " ";
        EXPECT_EQ(labels, places) << c.name;
        EXPECT_EQ(show(d["user_s"]) + " " + show(d["privileged_s"]), c.totals) << c.name;
        EXPECT_TRUE(fake_all_released()) << c.name;
    }
}

TEST(CpuTimes, ReaderTakesWholeEntriesAndRefusesContradictions)
{
    uint8_t span[2 * HL_PPI_SIZE + 47] = {0};
    uint64_t idle = 500, kernel = 400; /* kernel time below idle time */
    memcpy(span + HL_PPI_IDLE, &idle, 8);
    memcpy(span + HL_PPI_KERNEL, &kernel, 8);
    hl_cpu_times_t r;
    memset(&r, 0, sizeof r);
    EXPECT_EQ(hl_impl_cpu_times_parse(span, sizeof span, 7, &r), 2);
    EXPECT_EQ(hl_impl_cpu_times_parse(span, HL_PPI_SIZE - 1, 7, &r), 0);
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.cores[0].ticks.privileged, HL_COUNTER_UNKNOWN);
    EXPECT_EQ(r.cores[1].ticks.privileged, 0u);
    EXPECT_EQ(r.cores[1].group * 100 + r.cores[1].index, 701u);
    hl_cpu_times_release(&r);
}

/* ---- interface counters --------------------------------------------------- */

TEST(NetIo, ScriptedMachineWithSpeedsBeyondThirtyTwoBits)
{
    script_machine();
    json d = parsed(hostlens_collect("net_io"))["net_io"];
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(keys_of(d[1]), "name,description,index,mac,is_up,hardware,filter,rx_bytes,tx_bytes,"
                             "rx_packets,tx_packets,rx_errors,tx_errors,rx_discards,tx_discards,"
                             "rx_unknown,rx_speed_bps,tx_speed_bps");
    EXPECT_EQ(d[1].dump(), "{\"name\":\"Ethernet\",\"description\":\"Intel(R) Ethernet X550\","
                           "\"index\":7,\"mac\":\"00:1A:2B:3C:4D:5E\",\"is_up\":1,\"hardware\":1,"
                           "\"filter\":0,\"rx_bytes\":81604378624,\"tx_bytes\":6442450944,"
                           "\"rx_packets\":61120000,\"tx_packets\":9003000,\"rx_errors\":2,"
                           "\"tx_errors\":0,\"rx_discards\":5,\"tx_discards\":1,\"rx_unknown\":17,"
                           "\"rx_speed_bps\":10000000000,\"tx_speed_bps\":10000000000}");
    EXPECT_EQ(d[0]["mac"], "unknown");
    EXPECT_EQ(d[0]["hardware"], 0);
    EXPECT_EQ(d[2]["filter"], 1);
    EXPECT_EQ(d[2]["hardware"], 0);
    EXPECT_EQ(d[3]["is_up"], 0);
    EXPECT_EQ(d[3]["rx_speed_bps"], "unknown"); /* NDIS's all-ones speed */
    EXPECT_EQ(fake_calls(FAKE_FREE_MIB_TABLE), 1);
    EXPECT_TRUE(fake_all_released());
}

TEST(NetIo, EveryLengthUpToAThousand)
{
    /* 16 and 256 were the network module's caps; these lists have none. */
    for (int n : {0, 1, 16, 17, 256, 257, 1000}) {
        fake_reset();
        for (int i = 0; i < n; i++)
            fake_net_add_if2_row({(uint64_t)i,
                                  (uint32_t)i + 1,
                                  "if" + std::to_string(i),
                                  "",
                                  {},
                                  1,
                                  1,
                                  0,
                                  0,
                                  (uint64_t)i,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0});
        json d = parsed(hostlens_collect("net_io"))["net_io"];
        ASSERT_EQ((int)d.size(), n);
        for (int i = 0; i < n; i += n / 5 + 1) {
            EXPECT_EQ(d[i]["name"], "if" + std::to_string(i));
            EXPECT_EQ(d[i]["rx_bytes"], (uint64_t)i);
        }
        EXPECT_TRUE(fake_all_released());
    }
}

TEST(NetIo, ReaderStopsAtTheSpanAndTheDeclaredRows)
{
    struct {
        uint32_t declared;
        size_t rows_present;
        size_t extra;
        int expect;
    } cases[] = {{3, 3, 0, 3}, {3, 2, 100, 2}, {1, 3, 0, 1}, {0, 2, 0, 0}, {9, 0, 7, 0}};
    for (const auto &c : cases) {
        std::vector<uint8_t> t(HL_IFTABLE2_HEADER + c.rows_present * HL_IFROW2_SIZE + c.extra, 0);
        memcpy(t.data(), &c.declared, 4);
        for (size_t i = 0; i < c.rows_present; i++)
            t[HL_IFTABLE2_HEADER + i * HL_IFROW2_SIZE + HL_IFROW2_ALIAS] = 'a' + (uint8_t)i;
        hl_net_io_list_t r;
        memset(&r, 0, sizeof r);
        EXPECT_EQ(hl_impl_net_io_parse(t.data(), t.size(), &r), c.expect);
        for (int i = 0; i < r.count; i++)
            EXPECT_EQ(std::string(r.items[i].name), std::string(1, (char)('a' + i)));
        hl_net_io_release(&r);
    }
}

/* ---- processes ------------------------------------------------------------ */

TEST(Processes, ScriptedMachineExactly)
{
    script_machine();
    EXPECT_EQ(doc(hostlens_collect("processes")),
              "{\"processes\":[{\"pid\":0,\"ppid\":0,\"name\":\"System Idle Process\","
              "\"threads\":4,\"handles\":0,\"working_set_bytes\":8192,\"private_bytes\":61440,"
              "\"user_s\":0.0000000,\"kernel_s\":150000.0000000,\"start_time\":\"unknown\"},"
              "{\"pid\":4,\"ppid\":0,\"name\":\"System\",\"threads\":250,\"handles\":5120,"
              "\"working_set_bytes\":155648,\"private_bytes\":40960,\"user_s\":0.0000000,"
              "\"kernel_s\":9.8765432,\"start_time\":\"2024-01-01T00:00:00Z\"},"
              "{\"pid\":1234,\"ppid\":4,\"name\":\"Caf\xC3\xA9 \xF0\x9F\x9A\x80.exe\","
              "\"threads\":12,\"handles\":345,\"working_set_bytes\":52428800,"
              "\"private_bytes\":33554432,\"user_s\":1.5625000,\"kernel_s\":0.1093750,"
              "\"start_time\":\"2024-01-01T00:01:00Z\"}]}");
    EXPECT_EQ(fake_system_info_log(), std::vector<std::string>{"5"});
}

static void add_processes(int n, uint32_t threads)
{
    for (int i = 0; i < n; i++)
        fake_add_process({(uint64_t)i * 4 + 8, 4, fake_u16(("p" + std::to_string(i)).c_str()),
                          threads, 10, 0, 0, 0, 0, 0});
}

TEST(Processes, EveryLengthUpToTenThousand)
{
    for (int n : {0, 1, 2, 64, 65, 1000, 10000}) {
        fake_reset();
        add_processes(n, 2);
        json d = parsed(hostlens_collect("processes"))["processes"];
        ASSERT_EQ((int)d.size(), n);
        for (int i = 0; i < n; i += n / 7 + 1) {
            EXPECT_EQ(d[i]["pid"], (uint64_t)i * 4 + 8);
            EXPECT_EQ(d[i]["name"], "p" + std::to_string(i));
        }
        EXPECT_LE(fake_process_call_sizes().size(), 2u) << n;
    }
}

TEST(Processes, AListThatGrowsIsAskedForAgainBoundedTimes)
{
    struct {
        int growth;    /* processes starting after each answer that is too short */
        size_t calls;  /* calls made */
        size_t listed; /* processes in the document */
    } cases[] = {
        {0, 2, 400},  /* one retry with the size asked for */
        {30, 2, 430}, /* the eighth more room holds those that started */
        {4000, 6, 0}, /* more start than the room grows: the list is given up */
    };
    for (const auto &c : cases) {
        fake_reset();
        add_processes(400, 100); /* 8.3 KB each: beyond the first block */
        fake_set_process_growth(c.growth);
        json d = parsed(hostlens_collect("processes"))["processes"];
        EXPECT_EQ(fake_process_call_sizes().size(), c.calls) << c.growth;
        EXPECT_EQ(d.size(), c.listed) << c.growth;
        EXPECT_TRUE(fake_all_released());
    }
}

/* A hand-made SystemProcessInformation span: entries of `size` bytes, each
 * naming itself with the text at `name_at` of `units` units. */
struct spi_span {
    std::vector<uint8_t> bytes;
    void entry(uint32_t size, uint32_t next, uint64_t pid, int64_t name_at, uint16_t units)
    {
        size_t at = bytes.size();
        bytes.resize(at + size, 0);
        memcpy(&bytes[at + HL_SPI_NEXT], &next, 4);
        memcpy(&bytes[at + HL_SPI_PID], &pid, 8);
        uint16_t length = (uint16_t)(units * 2);
        memcpy(&bytes[at + HL_SPI_NAME_LENGTH], &length, 2);
        uint64_t buffer = 0x10000 + (uint64_t)name_at; /* the span's address below */
        if (name_at >= 0)
            memcpy(&bytes[at + HL_SPI_NAME_BUFFER], &buffer, 8);
    }
    void text(size_t at, const char16_t *s)
    {
        memcpy(&bytes[at], s, std::char_traits<char16_t>::length(s) * 2);
    }
};

TEST(Processes, ReaderKeepsToTheSpan)
{
    struct {
        const char *name;
        std::function<void(spi_span &)> build;
        const char *listed; /* "pid:name" per entry */
    } cases[] = {
        {"name inside the entry",
         [](spi_span &s) {
             s.entry(300, 0, 8, 256, 3);
             s.text(256, u"a.b");
         },
         "8:a.b"},
        {"name pointer before the span", [](spi_span &s) { s.entry(300, 0, 8, -4, 2); },
         "8:unknown"},
        {"name running past the span", [](spi_span &s) { s.entry(300, 0, 8, 290, 8); },
         "8:unknown"},
        {"name on an odd byte", [](spi_span &s) { s.entry(300, 0, 8, 257, 2); }, "8:unknown"},
        {"no name: the idle process", [](spi_span &s) { s.entry(256, 0, 0, -1, 0); },
         "0:System Idle Process"},
        {"no name: another process", [](spi_span &s) { s.entry(256, 0, 12, -1, 0); }, "12:unknown"},
        {"step shorter than an entry", [](spi_span &s) { s.entry(512, 100, 8, -1, 0); },
         "8:unknown"},
        {"step past the span",
         [](spi_span &s) {
             s.entry(256, 256, 8, -1, 0);
             s.entry(256, 4096, 12, -1, 0);
         },
         "8:unknown 12:unknown"},
        {"last entry cut short",
         [](spi_span &s) {
             s.entry(256, 256, 8, -1, 0);
             s.bytes.resize(s.bytes.size() + 255);
         },
         "8:unknown"},
        {"shorter than one entry", [](spi_span &s) { s.bytes.resize(255); }, ""},
    };
    for (const auto &c : cases) {
        spi_span s;
        c.build(s);
        hl_process_list_t r;
        memset(&r, 0, sizeof r);
        hl_impl_processes_parse(s.bytes.data(), s.bytes.size(), 0x10000, &r);
        std::string listed;
        for (int i = 0; i < r.count; i++)
            listed += (i ? " " : "") + std::to_string(r.items[i].pid) + ":" +
                      (r.items[i].name_at < 0
                           ? std::string("unknown")
                           : std::string(r.text + r.items[i].name_at, r.items[i].name_length));
        EXPECT_EQ(listed, c.listed) << c.name;
        hl_processes_release(&r);
    }
}

TEST(Activity, NotInTheSnapshotNorInTheDefaultCollection)
{
    script_machine();
    json all = parsed(hostlens_collect(nullptr));
    for (const char *key : {"cpu_times", "net_io", "processes"})
        EXPECT_FALSE(all.contains(key)) << key;
    EXPECT_EQ(keys_of(parsed(hostlens_collect("processes,memory,net_io,cpu_times"))),
              "memory,cpu_times,net_io,processes");
}
