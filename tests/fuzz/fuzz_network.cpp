/*
 * The adapter list and the interface table as the IP helper delivers them:
 * adapters with any UTF-16 name, hardware address length, operational
 * status and unicast addresses, any declared record length, links that loop,
 * adapters joining during the size protocol, and an interface table of rows
 * (any type and status) or of raw bytes with any reported size. The raw
 * table is also read straight from an exactly sized copy.
 */
#include "fuzz_util.h"

#include <string>

#include "hl_net.h"

static void check_entry(const nlohmann::ordered_json &e)
{
    must_have_keys(e, {"name", "ipv4", "ipv6", "mac", "is_loopback", "is_up"});
    for (const char *k : {"name", "ipv4", "ipv6", "mac"})
        if (!e[k].is_string() || e[k].get<std::string>().size() > 63)
            abort();
    if (e["is_loopback"] != 0 && e["is_loopback"] != 1)
        abort();
    if (e["is_up"] != 0 && e["is_up"] != 1)
        abort();
}

static void read_table_directly(const std::vector<uint8_t> &table, fuzz_input &in)
{
    hl_network_info_t r;
    memset(&r, 0, sizeof r);
    uint32_t ifindex_of[HL_NETIF_MAX];
    uint8_t from_table[HL_NETIF_MAX];
    r.count = in.u8() % (HL_NETIF_MAX + 1);
    for (int i = 0; i < HL_NETIF_MAX; i++)
        ifindex_of[i] = in.u8();
    uint16_t mask = in.u16();
    for (int i = 0; i < HL_NETIF_MAX; i++) {
        from_table[i] = (mask >> i) & 1;
        r.interfaces[i].is_up = 7; /* untouched */
    }
    hl_impl_net_read_if_table(table.data(), table.size(), ifindex_of, from_table, &r);
    for (int i = 0; i < HL_NETIF_MAX; i++) {
        const hl_netif_info_t &e = r.interfaces[i];
        bool may_change = i < r.count && from_table[i];
        if ((i >= r.count && e.is_loopback != 0) || (!may_change && e.is_up != 7) ||
            (may_change && e.is_up != 7 && e.is_up != 0 && e.is_up != 1))
            abort(); /* an entry past the count or one with its own state was touched */
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_network(); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    fake_reset();
    int adapters = in.u8() % 20;
    for (int a = 0; a < adapters; a++) {
        uint32_t if_index = in.u8();
        uint8_t flags = in.u8();
        std::u16string name(in.u8() % 48, u'\0');
        for (char16_t &c : name)
            c = (char16_t)in.u16();
        uint8_t phys[8];
        uint32_t phys_len = in.u8() % 12;
        for (uint8_t &b : phys)
            b = in.u8();
        if (flags & 1)
            fake_net_add_adapter(if_index, nullptr, phys, phys_len);
        else
            fake_net_add_adapter16(if_index, name, phys, phys_len);
        fake_net_set_oper_status(in.u8() % 8);
        int unicasts = (flags >> 1) % 5;
        for (int u = 0; u < unicasts; u++) {
            uint8_t kind = in.u8();
            int family = kind % 4 == 0 ? 23 : kind % 4 == 1 ? 2 : kind;
            uint8_t addr[16];
            for (uint8_t &b : addr)
                b = in.u8();
            fake_net_add_unicast_raw(family, addr, (kind & 0x80) == 0);
        }
    }
    uint8_t mode = in.u8();
    fake_net_set_record_length(mode & 1 ? in.u16() % 2048 : 448);
    fake_net_set_loops((mode & 2) != 0);
    fake_net_set_pending((mode >> 2) % 4);
    std::vector<uint8_t> table;
    if (mode & 0x10) {
        uint32_t reported = in.u16();
        if (mode & 0x20)
            reported = reported << 8;
        table = in.bytes(in.u16() % 8192);
        fake_net_set_if_table_raw(table, reported);
    } else {
        int rows = in.u8() % 24;
        for (int i = 0; i < rows; i++) {
            uint32_t index = in.u8();
            uint32_t type = in.u8() & 1 ? 24 : 6;
            fake_net_add_if_row(index, type, in.u8() % 8);
        }
        if (mode & 0x20)
            fake_net_set_if_declared_rows(in.u32());
    }

    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json net = must_be_module(hostlens_network(), "network");
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();
    must_have_keys(net, {"interfaces", "local_ip"});
    const auto &list = net["interfaces"];
    if (!list.is_array() || list.size() > HL_NETIF_MAX)
        abort();
    bool local_found = net["local_ip"] == "unknown";
    for (const auto &e : list) {
        check_entry(e);
        if (e["is_loopback"] == 0 && e["ipv4"] == net["local_ip"])
            local_found = true;
    }
    if (!local_found)
        abort(); /* local_ip names no entry that is not a loopback */

    read_table_directly(table, in);
    return 0;
}
