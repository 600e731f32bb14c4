/*
 * The logical-processor record walk and the processor-group parser on raw
 * bytes, straight over an exactly sized copy, and the whole cpu document
 * with the same bytes answered for every relationship.
 *
 * Input: processor count, system time samples, a processor name, a few
 * per-processor counters, then the record bytes.
 */
#include "fuzz_util.h"

#include <math.h>

#include "hl_cpu.h"

static void walk_directly(const std::vector<uint8_t> &rec, uint32_t relationship, int cap)
{
    int64_t n = hl_impl_cpu_count_records(rec.data(), rec.size(), relationship);
    if (n < 0 || (size_t)n > rec.size() / 8)
        abort(); /* every counted record holds at least its header */
    uint32_t active[HL_CPU_MAX_GROUPS + 1];
    active[cap] = 0xDEADBEEFu;
    int groups = hl_impl_cpu_groups(rec.data(), rec.size(), active, cap);
    if (groups < 0 || groups > cap || active[cap] != 0xDEADBEEFu)
        abort();
    for (int g = 0; g < groups; g++)
        if (active[g] > 255)
            abort(); /* ActiveProcessorCount is a byte */
    /* Every processor index maps to a path or to nothing, never past `cap`. */
    for (uint32_t i = 0; i < 300; i += 7) {
        char16_t path[64];
        hl_impl_cpu_counter_path(i, active, groups, path, 64);
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_cpu(); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    uint32_t processors = in.u8();
    uint64_t times[6];
    for (uint64_t &t : times)
        t = (uint64_t)in.u32() << (in.u8() % 32);
    std::vector<uint8_t> name = in.bytes(in.u8() % 64);
    struct counter {
        uint32_t group, number;
        double value;
    } counters[8];
    int ncounters = in.u8() % 9;
    for (int i = 0; i < ncounters; i++) {
        counters[i].group = in.u8() % 3;
        counters[i].number = in.u8() % 70;
        uint64_t bits = (uint64_t)in.u32() | (uint64_t)in.u32() << 32;
        memcpy(&counters[i].value, &bits, sizeof bits);
    }
    uint32_t relationship = in.u8() % 8;
    int cap = 1 + in.u8() % HL_CPU_MAX_GROUPS;
    std::vector<uint8_t> rec(in.p, in.p + in.n);

    walk_directly(rec, relationship, cap);

    fake_reset();
    fake_set_processor_count(processors);
    fake_push_system_times(times[0], times[1], times[2]);
    fake_push_system_times(times[3], times[4], times[5]);
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                 "ProcessorNameString", 1, name.data(), (uint32_t)name.size());
    for (int i = 0; i < ncounters; i++) {
        char path[96];
        snprintf(path, sizeof path, "\\\\.\\Processor Information(%u,%u)\\%% Processor Time",
                 counters[i].group, counters[i].number);
        fake_pdh_counter(path, counters[i].value);
    }
    fake_set_lpi(HL_REL_PROCESSOR_CORE, rec);
    fake_set_lpi(HL_REL_PROCESSOR_PACKAGE, rec);
    fake_set_lpi(HL_REL_GROUP, rec);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json cpu = must_be_module(hostlens_cpu(), "cpu");
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();

    must_have_keys(cpu,
                   {"model", "physical_id", "family", "model_number", "stepping", "flags_count",
                    "sockets", "physical_cores", "logical_cores", "speed_min_mhz", "speed_max_mhz",
                    "speed_avg_mhz", "usage_percent", "per_core_percent"});
    if (!cpu["model"].is_string() || cpu["model"].get<std::string>().empty())
        abort();
    /* Every group's processors, or the calling thread's group's when the
     * records name fewer. */
    uint32_t active[HL_CPU_MAX_GROUPS];
    int groups = hl_impl_cpu_groups(rec.data(), rec.size(), active, HL_CPU_MAX_GROUPS);
    int64_t logical = 0;
    for (int g = 0; g < groups; g++)
        logical += active[g];
    if (logical < (int64_t)processors)
        logical = processors;
    if (cpu["logical_cores"] != logical || cpu["sockets"] < 1)
        abort();
    const auto &usage = cpu["usage_percent"];
    if (usage.is_number() && (usage < 0.0 || usage > 100.0))
        abort();
    /* One element per processor position, or none; -1.0 where a processor
     * had no value, and at least one that had. */
    const auto &per_core = cpu["per_core_percent"];
    if (per_core.size() != 0 && per_core.size() != (size_t)(logical < 128 ? logical : 128))
        abort();
    size_t values = 0;
    for (const auto &v : per_core) {
        if (!v.is_number() || (v != -1.0 && (v < 0.0 || v > 100.0)))
            abort();
        values += v != -1.0;
    }
    if (per_core.size() != 0 && (values == 0 || values > (size_t)ncounters))
        abort();
    return 0;
}
