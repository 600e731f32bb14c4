/*
 * Processor times: the reader straight over any bytes, and the whole
 * cpu_times document over any processor groups (counts and records from
 * the input), each group's entries from the input, and any group refused.
 *
 * Input: a group number, a span length, the span; then group counts and
 * entry values for the document.
 */
#include "fuzz_util.h"

#include "hl_activity.h"
#include "hl_cpu.h"

static void read_directly(const std::vector<uint8_t> &span, uint16_t group)
{
    hl_cpu_times_t r;
    memset(&r, 0, sizeof r);
    int n = hl_impl_cpu_times_parse(span.data(), span.size(), group, &r);
    if (n != (int)(span.size() / HL_PPI_SIZE) || r.count != n)
        abort(); /* every whole entry, nothing more */
    for (int i = 0; i < r.count; i++)
        if (r.cores[i].group != group || r.cores[i].index != (uint32_t)i)
            abort();
    hl_cpu_times_release(&r);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_collect("cpu_times"); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    uint16_t group = in.u16();
    read_directly(in.bytes(in.u16() % 1024), group);

    fake_reset();
    std::vector<uint8_t> active;
    int groups = in.u8() % 6;
    size_t total = 0;
    for (int g = 0; g < groups; g++) {
        active.push_back(in.u8() % 70);
        std::vector<fake_cpu_time_t> cores(in.u8() % 70);
        for (fake_cpu_time_t &c : cores) {
            c.idle = (uint64_t)in.u32() << (in.u8() % 33);
            c.kernel = (uint64_t)in.u32() << (in.u8() % 33);
            c.user = (uint64_t)in.u32() * in.u32();
            c.dpc = in.u32();
            c.interrupt = in.u32();
        }
        total += cores.size() > active.back() ? cores.size() : active.back();
        fake_set_processor_times((uint16_t)g, cores);
    }
    bool declared = in.u8() & 1;
    if (declared)
        fake_set_lpi(HL_REL_GROUP, fake_lpi_groups(active));
    else
        fake_set_lpi(HL_REL_GROUP, in.bytes(in.u8()));
    if (in.u8() & 1)
        fake_fail(in.u8() & 1 ? FAKE_SYSTEM_INFO_EX : FAKE_SYSTEM_INFO, 1 + in.u8() % 4);

    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json d = must_be_module(hostlens_collect("cpu_times"), "cpu_times");
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();
    must_have_keys(d, {"user_s", "privileged_s", "idle_s", "interrupt_s", "dpc_s", "cores"});
    for (const auto &core : d["cores"]) {
        must_have_keys(core, {"core", "user_s", "privileged_s", "idle_s", "interrupt_s", "dpc_s"});
        for (const char *k : {"user_s", "privileged_s", "idle_s", "interrupt_s", "dpc_s"})
            if (!(core[k].is_number() && core[k] >= 0) && core[k] != "unknown")
                abort();
    }
    if (declared && d["cores"].size() > total + 64)
        abort(); /* no processor invented beyond what was scripted or declared */
    return 0;
}
