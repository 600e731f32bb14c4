/*
 * Network: entries from the adapter list, MAC text, last address wins,
 * the operational state from the record or the interface table, loopback
 * marking, local_ip, the capacity, the size protocol, and walks bounded by
 * the bytes the platform returned.
 */
#include "test_util.h"

namespace
{

const uint8_t mac_a[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const uint8_t mac_8[8] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x11, 0x22};

std::string entry(const char *name, const char *ipv4, const char *ipv6, const char *mac,
                  int loopback)
{
    return std::string("{\"name\":\"") + name + "\",\"ipv4\":\"" + ipv4 + "\",\"ipv6\":\"" + ipv6 +
           "\",\"mac\":\"" + mac + "\",\"is_loopback\":" + std::to_string(loopback) +
           ",\"is_up\":1}";
}

std::string network_doc(const std::string &entries, const char *local_ip)
{
    return "{\"network\":{\"interfaces\":[" + entries + "],\"local_ip\":\"" + local_ip + "\"}}";
}

/* A loopback first (type 24, no hardware address), then an Ethernet card. */
void two_adapters()
{
    fake_net_add_adapter(1, "Loopback Pseudo-Interface 1");
    fake_net_add_unicast("127.0.0.1");
    fake_net_add_unicast("::1");
    fake_net_add_adapter(12, "Ethernet", mac_a, 6);
    fake_net_add_unicast("fe80::1c2d:3e4f:5a6b:7c8d");
    fake_net_add_unicast("192.168.1.20");
    fake_net_add_if_row(1, 24);
    fake_net_add_if_row(12, 6);
}

} // namespace

TEST(Network, ListsAdaptersMarksLoopbackAndChoosesLocalIp)
{
    two_adapters();
    hl_network_info_t r;
    long heap = fake_outstanding(FAKE_RES_HEAP);
    hl_impl_network(&r);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    EXPECT_EQ(doc(hostlens_network()),
              network_doc(entry("Loopback Pseudo-Interface 1", "127.0.0.1", "::1", "unknown", 1) +
                              "," +
                              entry("Ethernet", "192.168.1.20", "fe80::1c2d:3e4f:5a6b:7c8d",
                                    "00:1A:2B:3C:4D:5E", 0),
                          "192.168.1.20"));
    EXPECT_TRUE(fake_all_released());
    EXPECT_STREQ(hostlens_last_error(), "");
}

TEST(Network, NoAdaptersGivesEmptyList)
{
    EXPECT_EQ(doc(hostlens_network()), network_doc("", "unknown"));
}

TEST(Network, MacNeedsSixBytesAndShowsTheFirstSix)
{
    const uint8_t five[5] = {1, 2, 3, 4, 5};
    fake_net_add_adapter(1, "five", five, 5);
    fake_net_add_adapter(2, "eight", mac_8, 8);
    fake_net_add_adapter(3, "six", mac_a, 6);
    hl_network_info_t r;
    hl_impl_network(&r);
    ASSERT_EQ(r.count, 3);
    EXPECT_STREQ(r.interfaces[0].mac, "unknown");
    EXPECT_STREQ(r.interfaces[1].mac, "AA:BB:CC:DD:EE:FF");
    EXPECT_STREQ(r.interfaces[2].mac, "00:1A:2B:3C:4D:5E");
}

TEST(Network, LastAddressOfEachFamilyWinsAndOthersAreSkipped)
{
    const uint8_t v4[4] = {10, 0, 0, 9};
    fake_net_add_adapter(5, "Wi-Fi", mac_a, 6);
    fake_net_add_unicast("192.0.2.1");
    fake_net_add_unicast("2001:db8::1");
    fake_net_add_unicast("192.0.2.2");
    fake_net_add_unicast_raw(2, v4, false); /* no socket address */
    fake_net_add_unicast_raw(17, v4);       /* AF_NETBIOS */
    fake_net_add_unicast("fe80::2");
    fake_net_add_adapter(6, "Disconnected", mac_a, 6);
    EXPECT_EQ(doc(hostlens_network()),
              network_doc(entry("Wi-Fi", "192.0.2.2", "fe80::2", "00:1A:2B:3C:4D:5E", 0) + "," +
                              entry("Disconnected", "unknown", "unknown", "00:1A:2B:3C:4D:5E", 0),
                          "192.0.2.2"));
}

TEST(Network, AddressThatCannotBeTurnedIntoTextIsSkipped)
{
    fake_net_add_adapter(5, "eth0", mac_a, 6);
    fake_net_add_unicast("192.0.2.1");
    fake_net_add_unicast("192.0.2.2");
    fake_fail(FAKE_INET_NTOP, 2);
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_STREQ(r.interfaces[0].ipv4, "192.0.2.1");
}

TEST(Network, NamesThatDoNotFitOrAreMissingAreUnknown)
{
    fake_net_add_adapter(1, nullptr);
    fake_net_add_adapter(2, "");
    fake_net_add_adapter(3, std::string(62, 'n').c_str());
    fake_net_add_adapter(4, std::string(63, 'n').c_str());
    hl_network_info_t r;
    hl_impl_network(&r);
    ASSERT_EQ(r.count, 4);
    EXPECT_STREQ(r.interfaces[0].name, "unknown");
    EXPECT_STREQ(r.interfaces[1].name, "unknown");
    EXPECT_EQ(std::string(r.interfaces[2].name), std::string(62, 'n'));
    EXPECT_STREQ(r.interfaces[3].name, "unknown");
}

TEST(Network, InterfaceTableFailuresLeaveEveryEntryUnmarked)
{
    /* Size query fails, size query answers something other than 122, the
     * allocation fails, the second call fails. */
    struct {
        fake_op op;
        int k;
        long code;
    } cases[] = {
        {FAKE_IF_TABLE, 1, 50}, {FAKE_IF_TABLE, 1, 0}, {FAKE_ALLOC, 2, 0}, {FAKE_IF_TABLE, 2, 0}};
    for (const auto &c : cases) {
        fake_reset();
        two_adapters();
        fake_fail(c.op, c.k, false, c.code);
        long heap = fake_outstanding(FAKE_RES_HEAP);
        hl_network_info_t r;
        hl_impl_network(&r);
        SCOPED_TRACE(fake_op_name(c.op) + std::to_string(c.k));
        ASSERT_EQ(r.count, 2);
        EXPECT_EQ(r.interfaces[0].is_loopback, 0);
        EXPECT_EQ(r.interfaces[1].is_loopback, 0);
        EXPECT_STREQ(r.local_ip, "127.0.0.1");
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    }
}

TEST(Network, OnlyTypeTwentyFourMarksAndEveryEntryOfTheIndex)
{
    fake_net_add_adapter(7, "a");
    fake_net_add_unicast("192.0.2.7");
    fake_net_add_adapter(7, "b"); /* the same interface listed twice */
    fake_net_add_adapter(8, "c");
    fake_net_add_unicast("192.0.2.8");
    fake_net_add_if_row(8, 6);
    fake_net_add_if_row(7, 24);
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_EQ(r.interfaces[0].is_loopback, 1);
    EXPECT_EQ(r.interfaces[1].is_loopback, 1);
    EXPECT_EQ(r.interfaces[2].is_loopback, 0);
    EXPECT_STREQ(r.local_ip, "192.0.2.8");
}

TEST(Network, InterfaceTableRowCountIsNotTrusted)
{
    /* Declares far more rows than it holds: the walk stops at the bytes
     * returned (ASan would see a read past the block). */
    fake_net_add_adapter(3, "lo");
    fake_net_add_unicast("127.0.0.1");
    fake_net_add_if_row(3, 24);
    fake_net_set_if_declared_rows(100000);
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_EQ(r.interfaces[0].is_loopback, 1);
    EXPECT_STREQ(r.local_ip, "unknown");
}

TEST(Network, InterfaceTableIsReadForAtMost256Rows)
{
    fake_net_add_adapter(500, "late");
    fake_net_add_adapter(256, "last-read");
    for (uint32_t i = 1; i <= 256; i++)
        fake_net_add_if_row(i, i == 256 ? 24 : 6);
    fake_net_add_if_row(500, 24); /* row 257 */
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_EQ(r.interfaces[0].is_loopback, 0);
    EXPECT_EQ(r.interfaces[1].is_loopback, 1);
}

TEST(Network, SeventeenthAdapterIsIgnored)
{
    for (uint32_t i = 1; i <= 16; i++)
        fake_net_add_adapter(i, ("eth" + std::to_string(i)).c_str());
    fake_net_add_adapter(17, "eth17");
    fake_net_add_unicast("192.0.2.17");
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_EQ(r.count, 16);
    EXPECT_STREQ(r.interfaces[15].name, "eth16");
    EXPECT_STREQ(r.local_ip, "unknown");
}

TEST(Network, ShortFirstRecordStopsWithMessage)
{
    two_adapters();
    fake_net_set_record_length(80);
    hl_thread_state(1); /* the message below needs the thread's record */
    long heap = fake_outstanding(FAKE_RES_HEAP);
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_EQ(r.count, 0);
    EXPECT_STREQ(r.local_ip, "unknown");
    EXPECT_STREQ(hl_get_error(), "network: adapter struct too small (80 < 96)");
    EXPECT_EQ(fake_calls(FAKE_IF_TABLE), 0);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    EXPECT_EQ(doc(hostlens_network()), network_doc("", "unknown"));
    EXPECT_STREQ(hostlens_last_error(), "");
}

TEST(Network, LoadFailuresReportTheirMessages)
{
    hl_network_info_t r;
    fake_fail(FAKE_LOAD_SYSTEM_LIBRARY, 1);
    hl_impl_network(&r);
    EXPECT_STREQ(hl_get_error(), "network: iphlpapi.dll not found");
    EXPECT_EQ(r.count, 0);
    EXPECT_STREQ(r.local_ip, "unknown");

    fake_reset();
    hl_clear_error();
    fake_fail(FAKE_PROC_ADDRESS, 1);
    hl_impl_network(&r);
    EXPECT_STREQ(hl_get_error(), "network: GetAdaptersAddresses not found");
    EXPECT_EQ(fake_calls(FAKE_ADAPTERS), 0);
    EXPECT_EQ(doc(hostlens_network()), network_doc("", "unknown"));
}

TEST(Network, SystemDllByItsFullPathWhereTheSearchFlagIsUnknown)
{
    const std::string sys32 = "C:\\Windows\\system32";
    struct {
        const char *what;
        long flag_error; /* what the flagged load answers; 0: it loads */
        std::string system_dir;
        bool fail_directory;
        bool loaded;
        std::vector<std::string> paths;
    } cases[] = {
        {"the flag works", 0, sys32, false, true, {}},
        {"Windows 7 without the flag", 87, sys32, false, true, {sys32 + "\\iphlpapi.dll"}},
        {"a directory ending in a backslash", 87, "D:\\", false, true, {"D:\\iphlpapi.dll"}},
        {"not found: no other place", 126, sys32, false, false, {}},
        {"access denied: no other place", 5, sys32, false, false, {}},
        {"no system directory", 87, sys32, true, false, {}},
        {"a system directory too long", 87, "C:\\" + std::string(300, 'x'), false, false, {}},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_set_system_directory(c.system_dir.c_str());
        if (c.flag_error != 0)
            fake_fail(FAKE_LOAD_SYSTEM_LIBRARY, 1, true, c.flag_error);
        if (c.fail_directory)
            fake_fail(FAKE_SYSTEM_DIRECTORY, 1, true);
        void *m = hl_load_system_library(u"iphlpapi.dll");
        EXPECT_EQ(m != nullptr, c.loaded) << c.what;
        EXPECT_EQ(fake_loaded_paths(), c.paths) << c.what;
        if (c.loaded) {
            EXPECT_EQ(m, hl_port_module_handle(u"iphlpapi.dll")) << c.what;
        }
        EXPECT_EQ(fake_calls(FAKE_SYSTEM_DIRECTORY), c.flag_error == 87 ? 1 : 0) << c.what;
    }
    /* The network module, through that path. */
    fake_reset();
    fake_fail(FAKE_LOAD_SYSTEM_LIBRARY, 1, true, 87);
    fake_net_add_adapter(2, "Ethernet");
    fake_net_add_unicast("192.168.1.20");
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_EQ(r.count, 1);
    EXPECT_STREQ(r.local_ip, "192.168.1.20");
}

TEST(Network, SizeQueryOfZeroOrFailedAllocationEndsQuietly)
{
    hl_network_info_t r;
    hl_impl_network(&r); /* no adapters: the size query answers 0 */
    EXPECT_STREQ(hl_get_error(), "");
    EXPECT_EQ(fake_calls(FAKE_IF_TABLE), 0);

    fake_reset();
    two_adapters();
    fake_fail(FAKE_ALLOC, 1);
    hl_impl_network(&r);
    EXPECT_EQ(r.count, 0);
    EXPECT_STREQ(hl_get_error(), "");
}

TEST(Network, FailedAdapterCallStillReadsTheTable)
{
    two_adapters();
    fake_fail(FAKE_ADAPTERS, 2);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    hl_network_info_t r;
    hl_impl_network(&r);
    EXPECT_EQ(r.count, 0);
    EXPECT_STREQ(hl_get_error(), "");
    EXPECT_EQ(fake_calls(FAKE_IF_TABLE), 2);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
}

TEST(Network, ListThatGrowsIsQueriedAgainUpToThreeTimes)
{
    two_adapters();
    fake_net_set_pending(3);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    hl_network_info_t r;
    hl_impl_network(&r);
    ASSERT_EQ(r.count, 5);
    EXPECT_STREQ(r.interfaces[4].name, "vpn3");
    EXPECT_STREQ(r.interfaces[4].ipv4, "198.51.100.3");
    /* One record per adapter: 2, then 3, 4, 5 after each overflow. */
    EXPECT_EQ(fake_net_call_sizes(), (std::vector<uint32_t>{896, 1344, 1792, 2240}));
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);

    fake_reset();
    two_adapters();
    fake_net_set_pending(4);
    hl_impl_network(&r);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(fake_net_call_sizes().size(), 4u);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);

    fake_reset();
    two_adapters();
    fake_net_set_pending(1);
    fake_fail(FAKE_ALLOC, 2); /* the second block */
    hl_impl_network(&r);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
}

TEST(Network, LinksNeverOutnumberWhatTheBufferHolds)
{
    /* Both lists loop back to their start: the walk ends by count. */
    fake_net_add_adapter(1, "a");
    fake_net_add_unicast("192.0.2.1");
    fake_net_add_unicast("192.0.2.2");
    fake_net_add_adapter(2, "b");
    fake_net_set_loops(true);
    hl_network_info_t r;
    hl_impl_network(&r);
    ASSERT_EQ(r.count, 2);
    EXPECT_STREQ(r.interfaces[0].name, "a");
    EXPECT_STREQ(r.interfaces[1].name, "b");
    /* 896 bytes hold at most 28 unicast records: the 28th link is .2 */
    EXPECT_STREQ(r.interfaces[0].ipv4, "192.0.2.2");
}

TEST(Network, StateFromTheAdapterRecord)
{
    /* IF_OPER_STATUS: only 1 is up. The interface table says otherwise
     * each time and is not asked. */
    const uint32_t statuses[] = {1, 2, 3, 4, 5, 6, 7, 0};
    for (uint32_t i = 0; i < 8; i++) {
        fake_net_add_adapter(i + 1, ("if" + std::to_string(i)).c_str());
        fake_net_set_oper_status(statuses[i]);
        fake_net_add_if_row(i + 1, 6, statuses[i] == 1 ? 2 : 5);
    }
    for (uint32_t length : {108u, 448u}) {
        fake_net_set_record_length(length);
        hl_network_info_t r;
        hl_impl_network(&r);
        ASSERT_EQ(r.count, 8);
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(r.interfaces[i].is_up, i == 0 ? 1 : 0) << length << " " << statuses[i];
    }
}

TEST(Network, StateFromTheInterfaceTableWhenTheRecordIsTooShort)
{
    /* A record of 96 to 107 bytes ends before OperStatus: the row's
     * INTERNAL_IF_OPER_STATUS decides, where 4 and 5 are up and 1
     * (unreachable) is not. An adapter without a row keeps 1. */
    const uint32_t table[] = {0, 1, 2, 3, 4, 5, 9};
    const int up[] = {0, 0, 0, 0, 1, 1, 0};
    for (uint32_t i = 0; i < 7; i++) {
        fake_net_add_adapter(i + 1, ("if" + std::to_string(i)).c_str());
        fake_net_set_oper_status(i == 4 || i == 5 ? 2 : 1); /* not to be read */
        fake_net_add_if_row(i + 1, 6, table[i]);
    }
    fake_net_add_adapter(50, "no row");
    fake_net_set_oper_status(2);
    for (uint32_t length : {96u, 107u}) {
        fake_net_set_record_length(length);
        hl_network_info_t r;
        hl_impl_network(&r);
        ASSERT_EQ(r.count, 8);
        for (int i = 0; i < 7; i++)
            EXPECT_EQ(r.interfaces[i].is_up, up[i]) << length << " row status " << table[i];
        EXPECT_EQ(r.interfaces[7].is_up, 1);
    }
    /* Without the table nothing says: 1. */
    fake_fail(FAKE_IF_TABLE, 1);
    hl_network_info_t r;
    hl_impl_network(&r);
    for (int i = 0; i < r.count; i++)
        EXPECT_EQ(r.interfaces[i].is_up, 1);
}

TEST(Network, SnapshotSectionMatchesTheDocument)
{
    two_adapters();
    std::string single = doc(hostlens_network());
    auto all = parsed(hostlens_get_all());
    std::string section = "{\"network\":" + all["network"].dump() + "}";
    EXPECT_EQ(section, single);
}
