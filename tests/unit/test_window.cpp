/*
 * The CPU window of a pass over several modules: the first samples before
 * every other collector, the second after them all, and one sleep of only
 * what is left of 200 ms. The order of the whole collection is pinned here.
 */
#include "test_util.h"

#include "machine.h"

TEST(CpuWindow, SleepsOnlyWhatIsLeft)
{
    const uint64_t ms = 10000; /* clock units at the fake's 10 MHz */
    struct {
        const char *what;
        uint64_t elapsed; /* between the two readings of the clock */
        void (*fault)();
        std::vector<uint32_t> sleeps;
    } cases[] = {
        {"50 ms of collection", 50 * ms, [] {}, {150}},
        {"199.99 ms: the part rounded down", 200 * ms - 1, [] {}, {1}},
        {"just 200 ms", 200 * ms, [] {}, {}},
        {"a clock that went back", UINT64_MAX - 5 * ms, [] {}, {200}},
        {"no frequency", 50 * ms, [] { fake_set_perf_frequency(0); }, {200}},
        {"second reading fails", 50 * ms, [] { fake_fail(FAKE_PERF_COUNTER, 2); }, {200}},
        {"frequency fails", 50 * ms, [] { fake_fail(FAKE_PERF_FREQUENCY, 1); }, {200}},
    };
    for (auto &c : cases) {
        fake_reset();
        script_machine(); /* per-processor counters too: still one sleep */
        fake_push_perf_counter(7 * ms);
        fake_push_perf_counter(7 * ms + c.elapsed);
        c.fault();
        auto doc = parsed(hostlens_collect("cpu"));
        EXPECT_EQ(fake_sleeps(), c.sleeps) << c.what;
        EXPECT_EQ(doc["cpu"]["usage_percent"], 75.0) << c.what;
        EXPECT_EQ(doc["cpu"]["per_core_percent"].size(), 4u) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }

    fake_reset();
    script_machine();
    hostlens_cpu(); /* alone, two windows of its own */
    EXPECT_EQ(fake_sleeps(), (std::vector<uint32_t>{200, 200}));
}

TEST(CpuWindow, SamplesBracketTheWholeCollection)
{
    script_machine();
    fake_trace_ops();
    auto doc = parsed(hostlens_get_all());
    /* The two scripted samples: 2,000,000 units, 500,000 of them idle. */
    EXPECT_EQ(doc["cpu"]["usage_percent"], 75.0);
    EXPECT_EQ(fake_calls(FAKE_SYSTEM_TIMES), 2);

    /* Each step by an operation only it makes at that point: the n-th call
     * of the operation. */
    struct {
        const char *step;
        fake_op op;
        int nth;
    } order[] = {
        {"cpu: first system times", FAKE_SYSTEM_TIMES, 1},
        {"cpu: first counter collection", FAKE_PDH_COLLECT, 1},
        {"cpu: window starts", FAKE_PERF_COUNTER, 1},
        {"os", FAKE_RTL_GET_VERSION, 1},
        {"host", FAKE_FIRMWARE_TABLE, 1},
        {"uptime", FAKE_TICK_COUNT, 1},
        {"packages", FAKE_REG_ENUM_KEY, 3}, /* after the os's walk of SYSTEM\\Setup */
        {"shell", FAKE_GETENV, 1},
        {"resolution", FAKE_DISPLAY_SETTINGS, 1},
        {"cpu: topology", FAKE_LOGICAL_PROCESSOR_INFO, 3}, /* after the group query */
        {"memory", FAKE_MEMORY_STATUS, 1},
        {"swap", FAKE_MEMORY_STATUS, 2},
        {"disk", FAKE_LOGICAL_DRIVES, 1},
        {"network", FAKE_ADAPTERS, 1},
        {"public_ip", FAKE_HTTP_BEGIN, 1},
        {"locale", FAKE_LOCALE_NAME, 1},
        {"user", FAKE_USER_NAME, 1},
        {"process_count", FAKE_PROCESS_SNAPSHOT, 1},
        /* The WMI collectors together, last. */
        {"cpu_temp", FAKE_WMI_EXEC, 1},
        {"gpu", FAKE_WMI_EXEC, 2},
        {"battery", FAKE_WMI_EXEC, 3},
        {"cpu: window ends", FAKE_PERF_COUNTER, 2},
        {"cpu: the rest of 200 ms", FAKE_SLEEP, 1},
        {"cpu: second system times", FAKE_SYSTEM_TIMES, 2},
        {"cpu: second counter collection", FAKE_PDH_COLLECT, 2},
    };
    const std::vector<fake_op> &ops = fake_traced_ops();
    long last = -1;
    for (auto &o : order) {
        long at = -1;
        for (size_t i = 0, seen = 0; i < ops.size(); i++)
            if (ops[i] == o.op && (int)++seen == o.nth) {
                at = (long)i;
                break;
            }
        EXPECT_GT(at, last) << o.step;
        last = at;
    }
}

TEST(CpuWindow, TheCallingThreadsOwnTimeIsNoLoad)
{
    /* Over the window the system counts 1,500,000 units busy of 2,000,000;
     * the calling thread, collecting, spent some of them itself. */
    struct {
        const char *what;
        std::vector<std::vector<uint64_t>> own; /* kernel, user; {} for a failed sample */
        double usage;
    } cases[] = {
        {"none of its own", {{100000, 200000}, {100000, 200000}}, 75.0},
        {"300,000 units", {{100000, 200000}, {250000, 350000}}, 60.0},
        {"more than the system counted", {{0, 0}, {1000000, 1000000}}, 0.0},
        {"first sample fails", {{}, {250000, 350000}}, 75.0},
        {"second sample fails", {{100000, 200000}, {}}, 75.0},
        {"times that went back", {{100000, 200000}, {50000, 350000}}, 75.0},
    };
    for (const auto &c : cases) {
        fake_reset();
        script_machine();
        fake_trace_ops();
        for (const auto &t : c.own)
            fake_push_thread_times(t.empty() ? 0 : t[0], t.empty() ? 0 : t[1], !t.empty());
        auto doc = parsed(hostlens_collect("os,cpu,memory"));
        EXPECT_EQ(doc["cpu"]["usage_percent"], c.usage) << c.what;
        /* Each thread sample lies inside the system's. */
        const std::vector<fake_op> &ops = fake_traced_ops();
        std::vector<fake_op> samples;
        for (fake_op op : ops)
            if (op == FAKE_SYSTEM_TIMES || op == FAKE_THREAD_TIMES)
                samples.push_back(op);
        EXPECT_EQ(samples, (std::vector<fake_op>{FAKE_SYSTEM_TIMES, FAKE_THREAD_TIMES,
                                                 FAKE_THREAD_TIMES, FAKE_SYSTEM_TIMES}))
            << c.what;
    }
}
