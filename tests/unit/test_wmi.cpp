/*
 * The WMI runner: COM entered and left around each query, the row loop and
 * its releases, the three messages, the bounded waits, and the two property
 * readers.
 */
#include "test_util.h"

#include "hl_access.h"

#include <thread>

namespace
{

struct seen_t {
    std::vector<std::string> names;
    std::vector<long> com_during; /* COM objects alive inside each callback */
};

void record(hl_handle_t row, void *ctx)
{
    seen_t *s = (seen_t *)ctx;
    char name[64] = "";
    wmi_get_str(row, "Name", name, sizeof name);
    s->names.push_back(name);
    s->com_during.push_back(fake_outstanding(FAKE_RES_COM));
}

void add_batteries(int n)
{
    for (int i = 0; i < n; i++)
        fake_wmi_str(fake_wmi_row("root\\cimv2", "Win32_Battery"), "Name",
                     std::string(1, (char)('a' + i)).c_str());
}

seen_t run(const char *ns = "root\\cimv2", const char *query = "SELECT Name FROM Win32_Battery")
{
    seen_t s;
    wmi_query(ns, query, record, &s);
    return s;
}

} // namespace

TEST(WmiQuery, NoRowsNoCallbackNoMessage)
{
    seen_t s = run();
    EXPECT_TRUE(s.names.empty());
    EXPECT_STREQ(hl_get_error(), "");
    EXPECT_EQ(fake_calls(FAKE_WMI_NEXT), 1);
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(fake_wmi_misuse(), 0);
}

TEST(WmiQuery, RowsInOrderEachReleasedBeforeTheNext)
{
    add_batteries(3);
    fake_wmi_str(fake_wmi_row("root\\cimv2", "Win32_VideoController"), "Name", "other class");
    seen_t s = run();
    EXPECT_EQ(s.names, (std::vector<std::string>{"a", "b", "c"}));
    /* Services, enumerator and the current row: the locator is gone and so
     * is every earlier row. */
    EXPECT_EQ(s.com_during, (std::vector<long>{3, 3, 3}));
    EXPECT_STREQ(hl_get_error(), "");
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(fake_wmi_misuse(), 0);
}

TEST(WmiQuery, BoundedWaitsAndTheFlagsPassed)
{
    add_batteries(2);
    run();
    const fake_wmi_log_t &log = fake_wmi_log();
    EXPECT_EQ(log.namespaces, (std::vector<std::string>{"root\\cimv2"}));
    EXPECT_EQ(log.connect_flags, (std::vector<int32_t>{0x80}));
    EXPECT_EQ(log.queries, (std::vector<std::string>{"SELECT Name FROM Win32_Battery"}));
    EXPECT_EQ(log.exec_flags, (std::vector<int32_t>{16}));
    EXPECT_EQ(log.next_timeouts, (std::vector<int32_t>{5000, 5000, 5000}));
}

TEST(WmiQuery, NextEndsOnFailureOrTimeoutWithoutMessage)
{
    struct {
        long code;
        int failing_call;
        size_t rows;
    } cases[] = {
        {(long)0x80041001u, 3, 2}, /* WBEM_E_FAILED part-way */
        {0x40004, 2, 1},           /* WBEM_S_TIMEDOUT: success code, no row */
        {0x40004, 1, 0},
    };
    for (const auto &c : cases) {
        fake_reset();
        add_batteries(3);
        fake_fail(FAKE_WMI_NEXT, c.failing_call, false, c.code);
        seen_t s = run();
        EXPECT_EQ(s.names.size(), c.rows) << c.code;
        EXPECT_EQ(fake_calls(FAKE_WMI_NEXT), c.failing_call) << c.code;
        EXPECT_STREQ(hl_get_error(), "");
        EXPECT_TRUE(fake_all_released());
        EXPECT_EQ(fake_wmi_misuse(), 0);
    }
}

TEST(WmiQuery, MessagesCarryTheStatus)
{
    struct {
        const char *ns;
        const char *query;
        fake_op fail;
        long code;
        const char *message;
    } cases[] = {
        {"root\\cimv2", "SELECT Name FROM Win32_Battery", FAKE_WMI_LOCATOR, 0,
         "wmi: CoCreateInstance IWbemLocator failed (hr=0x80040154)"},
        {"root\\nothere", "SELECT Name FROM Win32_Battery", FAKE_OP_COUNT, 0,
         "wmi: ConnectServer root\\nothere failed (hr=0x8004100E)"},
        {"root\\cimv2", "SELEC Name FROM Win32_Battery", FAKE_OP_COUNT, 0,
         "wmi: Query \"SELEC Name FROM Win32_Battery\" failed (hr=0x80041017)"},
        {"root\\cimv2", "SELECT Name FROM Win32_Battery", FAKE_WMI_CONNECT, (long)0x80070005u,
         "wmi: ConnectServer root\\cimv2 failed (hr=0x80070005)"},
        {"root\\cimv2", "SELECT Name FROM Win32_Battery", FAKE_WMI_EXEC, (long)0x80041001u,
         "wmi: Query \"SELECT Name FROM Win32_Battery\" failed (hr=0x80041001)"},
    };
    for (const auto &c : cases) {
        fake_reset();
        add_batteries(1);
        if (c.fail != FAKE_OP_COUNT)
            fake_fail(c.fail, 1, false, c.code);
        seen_t s = run(c.ns, c.query);
        EXPECT_TRUE(s.names.empty()) << c.message;
        EXPECT_STREQ(hl_get_error(), c.message);
        EXPECT_TRUE(fake_all_released()) << c.message;
        EXPECT_EQ(fake_wmi_misuse(), 0);
    }
}

TEST(WmiQuery, UnconvertibleNamesReachNoConnection)
{
    add_batteries(1);
    fake_fail(FAKE_UTF8_TO_UTF16, 1);
    EXPECT_TRUE(run().names.empty());
    EXPECT_EQ(fake_calls(FAKE_WMI_CONNECT), 0);
    EXPECT_TRUE(fake_all_released());
    /* A namespace longer than its 63 units is refused the same way. */
    std::string ns = "root\\" + std::string(60, 'x');
    EXPECT_TRUE(run(ns.c_str()).names.empty());
    EXPECT_EQ(fake_calls(FAKE_WMI_CONNECT), 0);
    EXPECT_TRUE(fake_all_released());
}

TEST(WmiQuery, SuccessWithoutAnObjectIsAFailure)
{
    struct {
        fake_op empty;
        const char *message;
    } cases[] = {
        {FAKE_WMI_LOCATOR, "wmi: CoCreateInstance IWbemLocator failed (hr=0x00000000)"},
        {FAKE_WMI_CONNECT, "wmi: ConnectServer root\\cimv2 failed (hr=0x00000000)"},
        {FAKE_WMI_EXEC, "wmi: Query \"SELECT Name FROM Win32_Battery\" failed (hr=0x00000000)"},
    };
    for (const auto &c : cases) {
        fake_reset();
        add_batteries(1);
        fake_wmi_succeed_empty(c.empty);
        seen_t s = run();
        EXPECT_TRUE(s.names.empty()) << c.message;
        EXPECT_STREQ(hl_get_error(), c.message);
        /* Nothing past the empty answer is asked for. */
        EXPECT_EQ(fake_calls(FAKE_WMI_NEXT), 0) << c.message;
        EXPECT_TRUE(fake_all_released()) << c.message;
        EXPECT_EQ(fake_wmi_misuse(), 0);
        EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
    }
}

namespace
{

fake_apartment apartment_in_callback;

void note_apartment(hl_handle_t, void *)
{
    apartment_in_callback = fake_com_apartment();
}

} // namespace

TEST(WmiCom, EachQueryLeavesTheThreadsApartmentAsItFoundIt)
{
    struct {
        fake_apartment host; /* what the host entered the thread into */
        fake_apartment during;
        int uninits;
    } cases[] = {
        {FAKE_APT_NONE, FAKE_APT_STA, 1}, /* S_OK, balanced */
        {FAKE_APT_STA, FAKE_APT_STA, 1},  /* S_FALSE, balanced too */
        {FAKE_APT_MTA, FAKE_APT_MTA, 0},  /* RPC_E_CHANGED_MODE: the host's MTA */
    };
    for (const auto &c : cases) {
        fake_reset();
        hl_clear_error();
        add_batteries(1);
        if (c.host != FAKE_APT_NONE) {
            ASSERT_EQ(fake_com_host_enter(c.host), 0);
        }
        apartment_in_callback = FAKE_APT_NONE;
        wmi_query("root\\cimv2", "SELECT Name FROM Win32_Battery", note_apartment, nullptr);
        EXPECT_EQ(apartment_in_callback, c.during) << c.host;
        EXPECT_EQ(fake_com_apartment(), c.host);
        EXPECT_EQ(fake_com_entries(), c.host != FAKE_APT_NONE ? 1 : 0);
        EXPECT_EQ(fake_calls(FAKE_COM_INIT), 1);
        EXPECT_EQ(fake_calls(FAKE_COM_UNINIT), c.uninits);
        EXPECT_STREQ(hl_get_error(), "");
        if (c.host != FAKE_APT_NONE)
            fake_com_host_leave();
        EXPECT_EQ(fake_misuse(), 0);
    }
}

TEST(WmiCom, FailedEntryRunsNoQueryAndLeavesNothing)
{
    for (long code : {(long)0x80004005u, (long)0x8007000Eu}) { /* E_FAIL, E_OUTOFMEMORY */
        fake_reset();
        hl_clear_error();
        add_batteries(1);
        fake_fail(FAKE_COM_INIT, 1, false, code);
        EXPECT_TRUE(run().names.empty());
        EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR), 0);
        EXPECT_EQ(fake_calls(FAKE_COM_UNINIT), 0);
        EXPECT_STREQ(hl_get_error(), "");
        /* The next query tries again. */
        EXPECT_EQ(run().names.size(), 1u);
        EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
    }
}

TEST(WmiCom, APassHoldsComAcrossItsQueries)
{
    add_batteries(2);
    hl_com_t pass = hl_com_enter();
    ASSERT_EQ(pass, HL_COM_ENTERED);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(run().names.size(), 2u);
        EXPECT_EQ(fake_com_entries(), 1); /* each query's own entry is gone again */
    }
    hl_com_leave(pass);
    EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
    EXPECT_EQ(fake_calls(FAKE_COM_INIT), 4);
    EXPECT_EQ(fake_calls(FAKE_COM_UNINIT), 4);
    /* Leaving a failed or borrowed entry calls nothing. */
    hl_com_leave(HL_COM_FAILED);
    hl_com_leave(HL_COM_BORROWED);
    EXPECT_EQ(fake_calls(FAKE_COM_UNINIT), 4);
    EXPECT_EQ(fake_misuse(), 0);
}

/* A session keeps one connection per namespace for as many namespaces as
 * it has room for; beyond that a query connects for itself. */
TEST(WmiCom, ASessionSharesConnectionsUpToItsRoom)
{
    add_batteries(1);
    hl_com_t pass = hl_com_enter();
    hl_wmi_session_t session;
    hl_wmi_session_begin(&session);
    const char *spaces[] = {"root\\cimv2", "root\\a", "root\\cimv2", "root\\b",
                            "root\\c",     "root\\d", "root\\e",     "root\\cimv2"};
    for (const char *ns : spaces)
        run(ns);
    /* The session's locator, and root\d's and root\e's own. */
    EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR), 3);
    EXPECT_EQ(fake_wmi_log().namespaces,
              (std::vector<std::string>{"root\\cimv2", "root\\a", "root\\b", "root\\c", "root\\d",
                                        "root\\e"}));
    /* The session's locator and root\cimv2's services stay until it ends;
     * the namespaces that do not exist were refused, each once. */
    EXPECT_EQ(fake_outstanding(FAKE_RES_COM), 2);
    hl_wmi_session_end(&session);
    hl_com_leave(pass);
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(fake_wmi_misuse(), 0);
    EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
    /* Over: the next query connects for itself. */
    run();
    EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR), 4);
}

TEST(WmiCom, EveryWmiExportOnEveryKindOfThread)
{
    const struct {
        const char *name;
        const char *(*fn)(void);
        const char *expect; /* in the document: the WMI row was read */
    } exports[] = {
        {"cpu_temp", hostlens_cpu_temp, "\"celsius\":26.8"},
        {"gpu", hostlens_gpu, "\"model\":\"NVIDIA GeForce GT 710\""},
        {"battery", hostlens_battery, "\"model\":\"a\""},
        {"get_all", hostlens_get_all, "\"model\":\"NVIDIA GeForce GT 710\""},
    };
    for (fake_apartment host : {FAKE_APT_NONE, FAKE_APT_STA, FAKE_APT_MTA})
        for (const auto &e : exports) {
            fake_reset();
            add_batteries(1);
            fake_wmi_str(fake_wmi_row("root\\cimv2", "Win32_VideoController"), "Name",
                         "NVIDIA GeForce GT 710");
            fake_wmi_num(fake_wmi_row("root\\WMI", "MSAcpi_ThermalZoneTemperature"),
                         "CurrentTemperature", 19, 3000);
            std::thread([&] {
                if (host != FAKE_APT_NONE)
                    fake_com_host_enter(host);
                std::string text = doc(e.fn());
                EXPECT_NE(text.find(e.expect), std::string::npos)
                    << e.name << " " << host << ": " << text;
                EXPECT_EQ(fake_com_apartment(), host) << e.name;
                EXPECT_EQ(fake_com_entries(), host != FAKE_APT_NONE ? 1 : 0) << e.name;
                if (host != FAKE_APT_NONE)
                    fake_com_host_leave();
            }).join();
            EXPECT_EQ(fake_misuse(), 0) << e.name << " " << host;
        }
}

TEST(WmiCom, OsCollectorMakesNoComCall)
{
    std::string os = doc(hostlens_os());
    EXPECT_NE(os.find("\"build_id\":\"19045\""), std::string::npos) << os;
    EXPECT_EQ(fake_calls(FAKE_COM_INIT), 0);
    EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
}

TEST(WmiInit, VersionQueryLookup)
{
    hl_impl_init();
    void *found = wmi_rtl_get_version();
    EXPECT_NE(found, nullptr);
    /* No ntdll module: the address is kept. */
    fake_fail(FAKE_MODULE_HANDLE, 1);
    hl_impl_init();
    EXPECT_EQ(wmi_rtl_get_version(), found);
    /* ntdll without the export: NULL, and again harmlessly. */
    fake_set_version(10, 0, 19045, 0, false);
    hl_impl_init();
    EXPECT_EQ(wmi_rtl_get_version(), nullptr);
    hl_impl_init();
    EXPECT_EQ(wmi_rtl_get_version(), nullptr);
    fake_reset();
    hl_impl_init();
    EXPECT_EQ(wmi_rtl_get_version(), found);
}

namespace
{

struct prop_case {
    const char *name;
    int64_t got;
    char text[16];
};

void read_props(hl_handle_t row, void *ctx)
{
    std::vector<prop_case> *cases = (std::vector<prop_case> *)ctx;
    for (prop_case &c : *cases) {
        wmi_get_num(row, c.name, &c.got);
        wmi_get_str(row, c.name, c.text, sizeof c.text);
    }
}

} // namespace

TEST(WmiGet, NumberTypeTableAndStrings)
{
    int r = fake_wmi_row("root\\cimv2", "Win32_Test");
    fake_wmi_num(r, "i4", 3, -5);
    fake_wmi_num(r, "ui4", 19, 4294967295LL);
    fake_wmi_num(r, "i8", 20, INT64_C(-9000000000));
    fake_wmi_num(r, "ui2", 18, 65535);
    fake_wmi_null(r, "null");
    fake_wmi_str(r, "bstr", "42");
    fake_wmi_num(r, "ui8", 21, 7);
    fake_wmi_num(r, "i2", 2, -2);
    fake_wmi_num(r, "ui1", 17, 9);
    fake_wmi_num(r, "bool", 11, 0xFFFF);
    fake_wmi_str(r, "empty", "");
    fake_wmi_str(r, "long", "fifteen bytes!!");
    fake_wmi_str(r, "fits", "fourteen bytes");
    std::vector<prop_case> cases = {
        {"i4", 77, "-"},   {"ui4", 77, "-"},    {"i8", 77, "-"},    {"ui2", 77, "-"},
        {"null", 77, "-"}, {"bstr", 77, "-"},   {"ui8", 77, "-"},   {"i2", 77, "-"},
        {"ui1", 77, "-"},  {"bool", 77, "-"},   {"empty", 77, "-"}, {"long", 77, "-"},
        {"fits", 77, "-"}, {"absent", 77, "-"},
    };
    wmi_query("root\\cimv2", "SELECT * FROM Win32_Test", read_props, &cases);
    struct {
        int64_t num;
        const char *text;
    } expect[] = {
        {-5, "-"},
        {4294967295LL, "-"},
        {INT64_C(-9000000000), "-"},
        {65535, "-"},
        {77, "-"},
        {77, "42"},
        {77, "-"},
        {77, "-"},
        {77, "-"},
        {77, "-"},
        {77, "unknown"},
        {77, "unknown"},
        {77, "fourteen bytes"},
        {77, "-"},
    };
    ASSERT_EQ(cases.size(), sizeof expect / sizeof expect[0]);
    for (size_t i = 0; i < cases.size(); i++) {
        EXPECT_EQ(cases[i].got, expect[i].num) << cases[i].name;
        EXPECT_STREQ(cases[i].text, expect[i].text) << cases[i].name;
    }
    EXPECT_EQ(fake_outstanding(FAKE_RES_VARIANT), 0);
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(fake_wmi_misuse(), 0);
}

TEST(WmiGet, FailedGetLeavesDestinationsAndNeedsNoClear)
{
    int r = fake_wmi_row("root\\cimv2", "Win32_Test");
    fake_wmi_num(r, "n", 3, 5);
    fake_wmi_str(r, "s", "text");
    fake_fail(FAKE_WMI_GET, 1, true, (long)0x80041001u);
    std::vector<prop_case> cases = {{"n", 77, "-"}, {"s", 77, "-"}};
    wmi_query("root\\cimv2", "SELECT * FROM Win32_Test", read_props, &cases);
    EXPECT_EQ(cases[0].got, 77);
    EXPECT_STREQ(cases[1].text, "-");
    EXPECT_EQ(fake_calls(FAKE_VARIANT_CLEAR), 0);
    EXPECT_TRUE(fake_all_released());
}
