/*
 * The sampler over the substitute platform: rates over the host's own
 * interval, zero and tiny intervals, counters that go backwards, entries
 * that come and go, several processor groups, the busiest processes and
 * their count, refused and unknown names, threads, and memory over many
 * reads. The performance counter runs at 10 MHz: 5,000,000 is half a
 * second.
 */
#include "test_util.h"

#include <string.h>

#include <mutex>
#include <thread>
#include <vector>

#include "machine.h"

namespace
{

using json = nlohmann::ordered_json;

/* 1970-01-01 plus a day, as a FILETIME: the system time of the readings. */
const uint64_t T0 = UINT64_C(116444736000000000) + UINT64_C(864000000000);

fake_if2_row_t iface(uint64_t luid, const char *name, uint64_t rx, uint64_t tx, uint8_t flags = 1)
{
    fake_if2_row_t r{};
    r.luid = luid;
    r.index = (uint32_t)luid;
    r.alias = r.description = name;
    r.flags = flags;
    r.oper = 1;
    r.rx_speed = r.tx_speed = 1000000000;
    r.in_octets = rx;
    r.out_octets = tx;
    r.in_ucast = rx / 1000;
    r.out_ucast = tx / 1000;
    return r;
}

fake_physical_disk_t disk(uint32_t number, int64_t read, uint32_t reads, int64_t idle)
{
    fake_physical_disk_t d;
    d.number = number;
    d.descriptor = fake_storage_descriptor("", "Disk", "S1", 17);
    d.has_counters = true;
    d.counters = fake_disk_counters_t{read, 0, 0, 0, idle, reads, 0, 0, 0};
    return d;
}

fake_process_t process(uint64_t pid, const char16_t *name, uint64_t created, uint64_t cpu,
                       uint64_t working_set)
{
    return fake_process_t{pid, 4, name, 1, 10, created, cpu, 0, working_set, 0};
}

/* One open and the clock readings of it and of each read after it (through
 * sampler_read), each held for every kind the call reads. */
hostlens_sampler *open_at(std::vector<uint64_t> clocks)
{
    for (uint64_t c : clocks)
        fake_push_perf_counter(c);
    fake_hold_perf_counter();
    fake_set_system_time(T0);
    hostlens_sampler *s = hostlens_sampler_open();
    EXPECT_NE(s, nullptr);
    return s;
}

const char *sampler_read(hostlens_sampler *s, const char *list)
{
    fake_next_perf_counter();
    return hostlens_sampler_read(s, list);
}

json read(hostlens_sampler *s, const char *list)
{
    return parsed(sampler_read(s, list));
}

} // namespace

TEST(Sampler, RatesOverTheIntervalSinceTheLastReading)
{
    fake_net_set_if2_rows({iface(7, "Ethernet", 1000000, 500000),
                           iface(8, "Ethernet-WFP Filter", 1000000, 500000, 2)});
    fake_set_physical_disks({disk(0, 0, 0, 0)});
    fake_set_processes(
        {process(4, u"System", T0 - 1, 1000, 100), process(100, u"a.exe", T0 - 1, 0, 5000)});
    hostlens_sampler *s = open_at({0, 5000000, 10000000, 20000000});

    fake_net_set_if2_rows({iface(7, "Ethernet", 6000000, 750000),
                           iface(8, "Ethernet-WFP Filter", 6000000, 750000, 2)});
    fake_set_physical_disks({disk(0, 1048576, 100, 2500000)});
    fake_set_processes(
        {process(4, u"System", T0 - 1, 1000, 100), process(100, u"a.exe", T0 - 1, 2500000, 5000)});
    /* The filter row repeats the interface beneath it and is left out. */
    EXPECT_EQ(doc(sampler_read(s, "net_io,disk_io,processes:2")),
              "{\"interval_s\":0.5000000,\"net_io\":[{\"name\":\"Ethernet\","
              "\"rx_bytes_per_s\":10000000.0,\"tx_bytes_per_s\":500000.0,"
              "\"rx_packets_per_s\":10000.0,\"tx_packets_per_s\":500.0,"
              "\"rx_speed_bps\":1000000000,\"tx_speed_bps\":1000000000,\"is_up\":1,"
              "\"hardware\":1}],\"disk_io\":[{\"disk\":0,\"read_bytes_per_s\":2097152.0,"
              "\"write_bytes_per_s\":0.0,\"reads_per_s\":200.0,\"writes_per_s\":0.0,"
              "\"busy_percent\":50.0}],\"processes\":[{\"pid\":100,\"name\":\"a.exe\","
              "\"cpu_percent\":50.0,\"working_set_bytes\":5000},{\"pid\":4,\"name\":"
              "\"System\",\"cpu_percent\":0.0,\"working_set_bytes\":100}]}");
    /* A module named only now and then: its rates since it was last named,
     * while interval_s is since the previous read. */
    read(s, "net_io");
    fake_set_processes(
        {process(4, u"System", T0 - 1, 1000, 100), process(100, u"a.exe", T0 - 1, 10000000, 5000)});
    json d = read(s, "processes:1");
    EXPECT_EQ(d["interval_s"], 1.0);
    EXPECT_EQ(d["processes"][0]["cpu_percent"], 50.0);
    /* A disk's rates need its counters, not what it is nor the folders
     * volumes are mounted in: three queries fewer than the disk_io
     * document makes, and no volume search. */
    int before = fake_calls(FAKE_DEVICE_IOCTL);
    read(s, "disk_io");
    int sampled = fake_calls(FAKE_DEVICE_IOCTL) - before;
    EXPECT_EQ(fake_calls(FAKE_VOLUME_FIND_FIRST), 0);
    hostlens_collect("disk_io");
    EXPECT_EQ(fake_calls(FAKE_DEVICE_IOCTL) - before - sampled, sampled + 3);
    EXPECT_EQ(fake_calls(FAKE_VOLUME_FIND_FIRST), 1);
    hostlens_sampler_close(s);
}

TEST(Sampler, ZeroAndTinyIntervalsGiveValidNumbers)
{
    struct {
        uint64_t ticks;
        const char *interval;
        json rx; /* 1000 bytes over the interval */
    } cases[] = {
        {0, "0.0000000", "unknown"},
        {1, "0.0000001", 10000000000.0},
        {10000, "0.0010000", 1000000.0},
    };
    for (auto &c : cases) {
        fake_reset();
        fake_net_set_if2_rows({iface(7, "Ethernet", 0, 0)});
        fake_set_processes({process(100, u"a.exe", T0 - 1, 0, 5000)});
        fake_set_processor_times(0, {{10, 20, 5, 0, 0}});
        hostlens_sampler *s = open_at({1000, 1000 + c.ticks});
        fake_net_set_if2_rows({iface(7, "Ethernet", 1000, 0)});
        fake_set_processes({process(100, u"a.exe", T0 - 1, 1, 5000)});
        /* The processors' ticks move, whatever the clock says. */
        fake_set_processor_times(0, {{12, 24, 6, 0, 0}});
        std::string text = doc(sampler_read(s, nullptr));
        json d = parsed(text.c_str());
        EXPECT_NE(text.find(std::string("\"interval_s\":") + c.interval + ","), std::string::npos)
            << text;
        EXPECT_EQ(d["net_io"][0]["rx_bytes_per_s"], c.rx) << text;
        bool zero = c.ticks == 0;
        EXPECT_EQ(d["processes"][0]["cpu_percent"].is_string(), zero) << text;
        EXPECT_EQ(d["cpu"]["usage_percent"].is_string(), zero) << text;
        EXPECT_EQ(d["cpu"]["per_core_percent"].empty(), zero) << text;
        hostlens_sampler_close(s);
    }
}

TEST(Sampler, CountersThatGoBackwardsGiveNoRate)
{
    fake_net_set_if2_rows({iface(7, "Ethernet", 5000000, 1000)});
    fake_set_physical_disks({disk(0, 4096, 4294967000u, 0)});
    fake_set_processes({process(100, u"a.exe", T0 - 1, 900, 5000)});
    hostlens_sampler *s = open_at({0, 10000000});
    /* The interface was reset; the disk's 32-bit count of reads wrapped. */
    fake_net_set_if2_rows({iface(7, "Ethernet", 100, 3000)});
    fake_set_physical_disks({disk(0, 8192, 5, 10000000)});
    fake_set_processes({process(100, u"a.exe", T0 - 1, 800, 5000)});
    json d = read(s, nullptr);
    json net = d["net_io"][0], dsk = d["disk_io"][0];
    EXPECT_EQ(net["rx_bytes_per_s"], "unknown");
    EXPECT_EQ(net["rx_packets_per_s"], "unknown");
    EXPECT_EQ(net["tx_bytes_per_s"], 2000.0);
    EXPECT_EQ(dsk["reads_per_s"], "unknown");
    EXPECT_EQ(dsk["read_bytes_per_s"], 4096.0);
    EXPECT_EQ(dsk["busy_percent"], 0.0);
    EXPECT_EQ(d["processes"][0]["cpu_percent"], "unknown");
    hostlens_sampler_close(s);
}

TEST(Sampler, EntriesThatComeAndGo)
{
    fake_net_set_if2_rows({iface(7, "Ethernet", 0, 0), iface(9, "Wi-Fi", 0, 0)});
    fake_set_physical_disks({disk(0, 0, 0, 0)});
    fake_set_processes({process(100, u"stays.exe", T0 - 1, 0, 1),
                        process(200, u"ends.exe", T0 - 1, 0, 1),
                        process(300, u"reused.exe", T0 - 1, 0, 1)});
    hostlens_sampler *s = open_at({0, 10000000});
    fake_net_set_if2_rows({iface(7, "Ethernet", 1000, 0), iface(11, "VPN", 1000, 0)});
    fake_set_physical_disks({disk(0, 1000, 0, 0), disk(1, 1000, 0, 0)});
    fake_set_processes({process(100, u"stays.exe", T0 - 1, 1000000, 1),
                        /* born since the previous reading, within the same tick
                         * of the system clock: all its time is new */
                        process(400, u"born.exe", T0, 3000000, 1),
                        /* pid 300 again, another process born since */
                        process(300, u"again.exe", T0 + 5, 2000000, 1),
                        /* running before, but missing from that reading */
                        process(500, u"missed.exe", T0 - 1, 9000000, 1)});
    json d = read(s, "net_io,disk_io,processes");
    ASSERT_EQ(d["net_io"].size(), 2u);
    EXPECT_EQ(d["net_io"][0]["name"], "Ethernet");
    EXPECT_EQ(d["net_io"][0]["rx_bytes_per_s"], 1000.0);
    EXPECT_EQ(d["net_io"][1]["name"], "VPN");
    EXPECT_EQ(d["net_io"][1]["rx_bytes_per_s"], "unknown");
    ASSERT_EQ(d["disk_io"].size(), 2u);
    EXPECT_EQ(d["disk_io"][0]["read_bytes_per_s"], 1000.0);
    EXPECT_EQ(d["disk_io"][1]["read_bytes_per_s"], "unknown");
    std::string order;
    for (const json &p : d["processes"])
        order += p["name"].get<std::string>() + "=" + p["cpu_percent"].dump() + " ";
    EXPECT_EQ(order, "born.exe=30.0 again.exe=20.0 stays.exe=10.0 missed.exe=\"unknown\" ");
    hostlens_sampler_close(s);
}

/* Each kind's rates span the time between its own readings: the time the
 * kinds before it took at the open (here 3 s of disks) is in none of them. */
TEST(Sampler, EachKindOverItsOwnInterval)
{
    fake_set_processes({process(100, u"a.exe", T0 - 1, 0, 1)});
    /* The open's clock (and the processors'), the interfaces', the disks',
     * the processes'; then the read's and its processes'. */
    for (uint64_t c : {0, 0, 0, 30000000, 40000000, 40000000})
        fake_push_perf_counter(c);
    fake_set_system_time(T0);
    hostlens_sampler *s = hostlens_sampler_open();
    fake_set_processes({process(100, u"a.exe", T0 - 1, 5000000, 1)});
    json d = parsed(hostlens_sampler_read(s, "processes"));
    EXPECT_EQ(d["interval_s"], 4.0);
    EXPECT_EQ(d["processes"][0]["cpu_percent"], 50.0);
    hostlens_sampler_close(s);
}

/* Each kind's reading reuses the block of the kind before it, whose
 * entries are narrower: a real machine's dozens of interface rows and its
 * disks after a few processors must fit (ASan watches the blocks). */
TEST(Sampler, ManyEntriesOfEveryKindInOneRead)
{
    fake_set_lpi(4, fake_lpi_groups({2}));
    fake_set_processor_times(0, {fake_cpu_time_t{}, fake_cpu_time_t{}});
    std::vector<fake_if2_row_t> rows;
    std::vector<fake_physical_disk_t> disks;
    for (uint64_t i = 1; i <= 40; i++)
        rows.push_back(iface(i, "Row", 0, 0));
    for (uint32_t i = 0; i < 20; i++)
        disks.push_back(disk(i, 0, 0, 0));
    fake_net_set_if2_rows(rows);
    fake_set_physical_disks(disks);
    hostlens_sampler *s = open_at({0, 10000000, 20000000});
    for (int round = 0; round < 2; round++) {
        json d = read(s, "cpu,net_io,disk_io");
        ASSERT_EQ(d["net_io"].size(), 40u);
        ASSERT_EQ(d["disk_io"].size(), 20u);
        EXPECT_EQ(d["net_io"][39]["rx_bytes_per_s"], 0.0);
        EXPECT_EQ(d["disk_io"][19]["read_bytes_per_s"], 0.0);
    }
    hostlens_sampler_close(s);
}

/* Processor times in hundredths of the tests' one-second interval. */
fake_cpu_time_t centi(uint64_t idle, uint64_t kernel, uint64_t user)
{
    return fake_cpu_time_t{idle * 100000, kernel * 100000, user * 100000, 0, 0};
}

TEST(Sampler, EveryProcessorGroupAtItsPosition)
{
    fake_set_lpi(4, fake_lpi_groups({2, 3}));
    /* idle, kernel (idle included), user */
    fake_set_processor_times(0, {centi(100, 100, 0), centi(100, 100, 0)});
    fake_set_processor_times(1, {centi(100, 100, 0), centi(100, 100, 0), centi(0, 0, 0)});
    hostlens_sampler *s = open_at({0, 10000000, 20000000, 30000000, 40000000, 50000000});
    fake_set_processor_times(0, {centi(200, 200, 0), centi(150, 200, 0)});
    fake_set_processor_times(1, {centi(100, 150, 50), centi(175, 200, 0), centi(0, 0, 0)});
    json cpu = read(s, "cpu")["cpu"];
    /* The last processor's times did not move: it has no share, and the
     * whole has none without it. */
    EXPECT_EQ(cpu["per_core_percent"].dump(), "[0.0,50.0,100.0,25.0,-1.0]");
    EXPECT_EQ(cpu["usage_percent"], "unknown");
    EXPECT_EQ(cpu["logical_cores"], 5);
    fake_set_processor_times(1, {centi(100, 250, 50), centi(175, 300, 0), centi(50, 50, 50)});
    cpu = read(s, "cpu")["cpu"];
    EXPECT_EQ(cpu["per_core_percent"].dump(), "[-1.0,-1.0,100.0,100.0,50.0]");
    /* A group whose query fails: its processors have no value. */
    fake_fail(FAKE_SYSTEM_INFO_EX, 2);
    fake_set_processor_times(0, {centi(300, 300, 0), centi(150, 300, 150)});
    cpu = read(s, "cpu")["cpu"];
    EXPECT_EQ(cpu["per_core_percent"].dump(), "[0.0,100.0,-1.0,-1.0,-1.0]");
    EXPECT_EQ(cpu["usage_percent"], "unknown");
    /* Windows 11's user and kernel times lag behind idle time: a sleeping
     * processor's grew by one clock tick over a second in which it idled
     * 750 ms. Against the clock it was busy a quarter of the time. */
    fake_set_processor_times(
        0, {fake_cpu_time_t{375 * 100000, 375 * 100000 + 156250, 0, 0, 0}, centi(250, 400, 150)});
    fake_set_processor_times(1, {centi(200, 350, 50), centi(275, 400, 0), centi(150, 150, 50)});
    cpu = read(s, "cpu")["cpu"];
    EXPECT_EQ(cpu["per_core_percent"].dump(), "[25.0,0.0,-1.0,-1.0,-1.0]");
    /* The whole: every processor's time not idle over the interval. */
    fake_set_processor_times(0, {centi(475, 477, 0), centi(300, 500, 50)});
    fake_set_processor_times(1, {centi(300, 450, 50), centi(375, 500, 0), centi(250, 250, 50)});
    cpu = read(s, "cpu")["cpu"];
    EXPECT_EQ(cpu["per_core_percent"].dump(), "[0.0,50.0,0.0,0.0,0.0]");
    EXPECT_EQ(cpu["usage_percent"], 10.0);
    hostlens_sampler_close(s);
}

TEST(Sampler, TheBusiestProcessesAndHowManyOfThem)
{
    /* cpu since open (100 ns), working set: ties go to the larger working
     * set, then to the lower pid; the idle process never appears. */
    fake_set_processes({process(0, u"", 0, 0, 0), process(8, u"h.exe", T0 - 1, 0, 10),
                        process(12, u"g.exe", T0 - 1, 0, 10), process(16, u"f.exe", T0 - 1, 0, 30),
                        process(20, u"e.exe", T0 - 1, 0, 5)});
    hostlens_sampler *s = open_at({0, 10000000});
    fake_set_processes({process(0, u"", 0, 40000000, 0), process(8, u"h.exe", T0 - 1, 500000, 10),
                        process(12, u"g.exe", T0 - 1, 500000, 10),
                        process(16, u"f.exe", T0 - 1, 500000, 30),
                        process(20, u"e.exe", T0 - 1, 2000000, 5)});
    std::string order;
    json got = read(s, "processes");
    for (const json &p : got["processes"])
        order += std::to_string(p["pid"].get<int>()) + " ";
    EXPECT_EQ(order, "20 16 8 12 ");

    struct {
        const char *list;
        size_t count; /* processes listed; -1: the name is unknown */
        int unknown;
    } cases[] = {
        {"processes:0", 0, 0},
        {"processes:2", 2, 0},
        {"processes:002", 2, 0},
        {"processes:999999999", 4, 0},
        {" processes:1 ,processes:3", 3, 0}, /* the last one counts */
        {"processes:3,processes", 4, 0},
        {"processes:", 0, 1},
        {"processes:-1", 0, 1},
        {"processes:+1", 0, 1},
        {"processes:1x", 0, 1},
        {"processes: 1", 0, 1},
        {"processes:1000000000", 0, 1},
        {"cpu:1", 0, 1},
    };
    for (auto &c : cases) {
        json d = read(s, c.list);
        EXPECT_EQ(d.contains("unknown_modules"), c.unknown != 0) << c.list << d.dump();
        if (c.unknown) {
            EXPECT_EQ(d["unknown_modules"][0], c.list) << c.list;
        } else {
            EXPECT_EQ(d["processes"].size(), c.count) << c.list;
        }
    }
    hostlens_sampler_close(s);
}

TEST(Sampler, TheListAsHostlensCollectReadsIt)
{
    script_machine();
    hostlens_sampler *s = open_at({0});
    struct {
        const char *list;
        const char *keys;
    } cases[] = {
        {nullptr, "interval_s,cpu,net_io,disk_io,processes"},
        {"", "interval_s,cpu,net_io,disk_io,processes"},
        {" , ,\t", "interval_s,cpu,net_io,disk_io,processes"},
        /* the rates first, then the others in the order of hostlens_collect */
        {"os_release,memory,net_io,os,cpu_times",
         "interval_s,net_io,os,memory,cpu_times,os_release"},
        {"public_ip,nope,public_ip,Memory", "interval_s,refused_modules,unknown_modules"},
        {"cpu_temp,public_ip", "interval_s,cpu_temp,refused_modules"},
    };
    for (auto &c : cases) {
        fake_reset();
        script_machine();
        json d = read(s, c.list);
        EXPECT_EQ(keys_of(d), c.keys) << (c.list != nullptr ? c.list : "NULL");
        /* A section of another module is hostlens_collect's, and the one
         * module that waits is never collected. */
        for (auto it = d.begin(); it != d.end(); ++it) {
            if (it.key() == "memory" || it.key() == "os" || it.key() == "os_release") {
                EXPECT_EQ(it.value(), parsed(hostlens_collect(it.key().c_str()))[it.key()]);
            }
        }
        EXPECT_EQ(fake_calls(FAKE_HTTP_BEGIN), 0);
        EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
        EXPECT_STREQ(hostlens_last_error(), "");
    }
    json d = read(s, "public_ip,nope,public_ip,Memory");
    EXPECT_EQ(d["refused_modules"].dump(), "[\"public_ip\"]");
    EXPECT_EQ(d["unknown_modules"].dump(), "[\"nope\",\"Memory\"]");
    hostlens_sampler_close(s);
}

TEST(Sampler, AReadingThePlatformRefusedKeepsThePreviousOne)
{
    fake_net_set_if2_rows({iface(7, "Ethernet", 0, 0)});
    hostlens_sampler *s = open_at({0, 10000000, 30000000});
    fake_fail(FAKE_IF_TABLE2, 1);
    EXPECT_EQ(read(s, "net_io")["net_io"].size(), 0u);
    fake_net_set_if2_rows({iface(7, "Ethernet", 3000, 0)});
    /* Over both intervals, three seconds. */
    EXPECT_EQ(read(s, "net_io")["net_io"][0]["rx_bytes_per_s"], 1000.0);
    hostlens_sampler_close(s);
}

/* A machine of one group lists its processors, unknown, when their query
 * fails: that reading is refused too, and the next rates span both. */
TEST(Sampler, ProcessorsAllUnknownAreAReadingRefused)
{
    fake_set_lpi(4, fake_lpi_groups({2}));
    fake_set_processor_times(0, {centi(0, 0, 0), centi(0, 0, 0)});
    hostlens_sampler *s = open_at({0, 10000000, 20000000});
    fake_fail(FAKE_SYSTEM_INFO, 1, true);
    EXPECT_EQ(read(s, "cpu")["cpu"]["usage_percent"], "unknown");
    fake_fail(FAKE_SYSTEM_INFO, 1000);
    fake_set_processor_times(0, {centi(100, 100, 0), centi(100, 200, 0)});
    /* Half of each processor's two seconds idle. */
    EXPECT_EQ(read(s, "cpu")["cpu"]["per_core_percent"].dump(), "[50.0,50.0]");
    hostlens_sampler_close(s);
}

/* Without the processor times the group records count the processors: no
 * process gets more than all of them over the interval. */
TEST(Sampler, NoProcessAboveEveryProcessor)
{
    fake_set_lpi(4, fake_lpi_groups({2}));
    fake_set_processes({process(8, u"a.exe", T0 - 1, 0, 10)});
    fake_fail(FAKE_SYSTEM_INFO, 1); /* the processor times at open */
    hostlens_sampler *s = open_at({0, 10000000});
    fake_set_processes(
        {process(8, u"a.exe", T0 - 1, 0, 10), process(12, u"b.exe", T0 + 1, 50000000, 10)});
    EXPECT_EQ(read(s, "processes")["processes"][0]["cpu_percent"], 200.0);
    hostlens_sampler_close(s);
}

TEST(Sampler, TheTextIsTheSamplersOwn)
{
    script_machine();
    const char *memory = hostlens_memory();
    std::string before = memory;
    hostlens_sampler *s = open_at({0, 1, 2});
    const char *first = sampler_read(s, "memory,zz");
    /* The thread's document is untouched, and a list may lie in the
     * sampler's previous text (under ASan a freed read would stop here). */
    EXPECT_EQ(std::string(memory), before);
    const char *second = sampler_read(s, strstr(first, "zz"));
    EXPECT_EQ(keys_of(parsed(second)), "interval_s,unknown_modules");
    EXPECT_EQ(std::string(memory), before);
    hostlens_sampler_close(s);
    hostlens_sampler_close(nullptr);
    EXPECT_EQ(hostlens_sampler_read(nullptr, "cpu"), nullptr);
}

TEST(Sampler, TenThousandReadsKeepTheHeapFlat)
{
    script_machine();
    long before = fake_outstanding(FAKE_RES_HEAP);
    hostlens_sampler *s = hostlens_sampler_open();
    ASSERT_NE(s, nullptr);
    read(s, nullptr);
    long held = fake_outstanding(FAKE_RES_HEAP);
    for (int i = 0; i < 10000; i++)
        ASSERT_NE(hostlens_sampler_read(s, i % 2 ? nullptr : "cpu,memory,net_io"), nullptr);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), held);
    /* The record, its text and four readings: nothing else stays. */
    EXPECT_EQ(held - before, 6);
    hostlens_sampler_close(s);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), before);
    EXPECT_TRUE(fake_all_released());
}

TEST(Sampler, ThreadsEachWithTheirOwnOrHandedOn)
{
    script_machine();
    const int threads = 4, reads = 100;
    std::vector<std::string> bad(threads);
    std::vector<std::thread> pool;
    /* Different samplers at once. */
    for (int t = 0; t < threads; t++)
        pool.emplace_back([&, t] {
            hostlens_sampler *s = hostlens_sampler_open();
            for (int i = 0; i < reads && s != nullptr && bad[t].empty(); i++) {
                std::string text = doc(hostlens_sampler_read(s, t % 2 ? nullptr : "memory,cpu"));
                if (!nlohmann::json::accept(text) || text.rfind("{\"interval_s\":", 0) != 0)
                    bad[t] = text;
            }
            hostlens_sampler_close(s);
        });
    for (auto &t : pool)
        t.join();
    pool.clear();
    /* One sampler, one thread at a time: the host's lock orders them. */
    hostlens_sampler *shared = hostlens_sampler_open();
    std::mutex host_lock;
    for (int t = 0; t < threads; t++)
        pool.emplace_back([&, t] {
            for (int i = 0; i < reads; i++) {
                std::lock_guard<std::mutex> g(host_lock);
                std::string text = doc(hostlens_sampler_read(shared, "cpu,processes:3"));
                if (!nlohmann::json::accept(text) && bad[t].empty())
                    bad[t] = text;
            }
        });
    for (auto &t : pool)
        t.join();
    hostlens_sampler_close(shared);
    for (const std::string &b : bad)
        EXPECT_EQ(b, "");
}
