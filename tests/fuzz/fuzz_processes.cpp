/*
 * The process list: the reader straight over any bytes, names pointing
 * anywhere (the span taken to lie at 0x10000, so that the input can point
 * into it), and the whole processes document over processes with any UTF-16
 * names, the list growing while it is read.
 */
#include "fuzz_util.h"

#include "hl_activity.h"

static const uint64_t SPAN_ADDRESS = 0x10000;

static void read_directly(const std::vector<uint8_t> &span)
{
    hl_process_list_t r;
    memset(&r, 0, sizeof r);
    int n = hl_impl_processes_parse(span.data(), span.size(), SPAN_ADDRESS, &r);
    if (n < 0 || r.count != n || (size_t)n > span.size() / HL_SPI_SIZE)
        abort(); /* every entry holds at least its fixed part */
    for (int i = 0; i < r.count; i++) {
        const hl_process_entry_t &e = r.items[i];
        if (e.name_at >= 0 && (e.name_length <= 0 || e.name_at + e.name_length > r.text_length))
            abort();
        must_end_inside(e.start_time, sizeof e.start_time);
    }
    hl_json_t j;
    hl_json_init(&j);
    hl_json_raw(&j, "[");
    hl_write_processes(&j, &r);
    hl_json_raw(&j, "]");
    must_be_json(hl_json_get(&j));
    hl_port_free(j.data);
    hl_processes_release(&r);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_collect("processes"); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    read_directly(in.bytes(in.u16()));

    fake_reset();
    int count = in.u8() % 40;
    for (int i = 0; i < count; i++) {
        fake_process_t p{};
        p.pid = in.u32();
        p.ppid = in.u32();
        p.threads = in.u8() % 32;
        p.handles = in.u32();
        p.create_time = (uint64_t)in.u32() << (in.u8() % 33);
        p.user = (uint64_t)in.u32() << (in.u8() % 33);
        p.kernel = in.u32();
        size_t units = in.u8() % 40;
        for (size_t u = 0; u < units; u++)
            p.name.push_back((char16_t)in.u16());
        fake_add_process(p);
    }
    fake_set_process_growth(in.u8() % 4);
    if (in.u8() & 1)
        fake_fail(FAKE_SYSTEM_INFO, 1 + in.u8() % 3);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json d = must_be_module(hostlens_collect("processes"), "processes", true);
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();
    if (d.size() > (size_t)count + 30)
        abort();
    for (const auto &e : d)
        must_have_keys(e, {"pid", "ppid", "name", "threads", "handles", "working_set_bytes",
                           "private_bytes", "user_s", "kernel_s", "start_time"});
    return 0;
}
