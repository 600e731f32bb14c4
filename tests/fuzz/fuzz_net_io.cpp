/*
 * The interface table of GetIfTable2: the reader straight over any bytes of
 * any length, and the whole net_io document over a table of those bytes
 * (its declared rows kept few, as the system sizes the table to them).
 */
#include "fuzz_util.h"

#include "hl_activity.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_collect("net_io"); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> span(data, data + size);
    hl_net_io_list_t r;
    memset(&r, 0, sizeof r);
    int n = hl_impl_net_io_parse(span.data(), span.size(), &r);
    size_t room = size < HL_IFTABLE2_HEADER ? 0 : (size - HL_IFTABLE2_HEADER) / HL_IFROW2_SIZE;
    if (n < 0 || (size_t)n > room || r.count != n)
        abort(); /* no row beyond the span */
    for (int i = 0; i < r.count; i++) {
        must_end_inside(r.items[i].name, sizeof r.items[i].name);
        must_end_inside(r.items[i].description, sizeof r.items[i].description);
        must_end_inside(r.items[i].mac, sizeof r.items[i].mac);
    }
    hl_net_io_release(&r);

    fake_reset();
    if (span.size() < 4)
        span.resize(4, 0);
    span[0] %= 9, span[1] = span[2] = span[3] = 0;
    fake_net_set_if_table2_raw(span);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json d = must_be_module(hostlens_collect("net_io"), "net_io", true);
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();
    for (const auto &e : d) {
        must_have_keys(e, {"name", "description", "index", "mac", "is_up", "hardware", "filter",
                           "rx_bytes", "tx_bytes", "rx_packets", "tx_packets", "rx_errors",
                           "tx_errors", "rx_discards", "tx_discards", "rx_unknown", "rx_speed_bps",
                           "tx_speed_bps"});
        for (const char *k : {"is_up", "hardware", "filter"})
            if (e[k] != 0 && e[k] != 1)
                abort();
        if (!e["rx_bytes"].is_number_unsigned() || e["name"].get<std::string>().empty())
            abort();
    }
    return 0;
}
