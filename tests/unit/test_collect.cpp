/*
 * hostlens_collect: the choice read from the list, the snapshot's order and
 * sections, names that are no section, lists of any length and bytes, and
 * the public IP only when named. The table of modules drives the walks.
 */
#include "test_util.h"

#include <string.h>

#include "machine.h"

namespace
{

/* Every call on a freshly scripted machine, so that sampled values (the CPU's
 * system times) are the same in each. */
nlohmann::ordered_json fresh(const char *modules)
{
    fake_reset();
    script_machine();
    return parsed(hostlens_collect(modules));
}

nlohmann::ordered_json fresh_snapshot()
{
    fake_reset();
    script_machine();
    return parsed(hostlens_get_all());
}

const char *const STAYS =
    "os,host,kernel,uptime,boot_time,packages,shell,resolution,de,wm,terminal,terminal_font,"
    "cpu,cpu_temp,gpu,memory,swap,battery,disk,network,locale,user,process_count";

} // namespace

TEST(Collect, EachModuleAloneIsItsSnapshotSection)
{
    nlohmann::ordered_json all = fresh_snapshot();
    for (int i = 0; i < hl_module_count; i++) {
        const hl_module_t &m = hl_modules[i];
        nlohmann::ordered_json one = fresh(m.key);
        EXPECT_EQ(keys_of(one), m.key);
        /* The snapshot's sections come first; the rest only when named. */
        EXPECT_EQ(i >= HL_SNAPSHOT_MODULES, (m.flags & HL_MODULE_NAMED) != 0) << m.key;
        if (i < HL_SNAPSHOT_MODULES)
            EXPECT_EQ(one[m.key], all[m.key]) << m.key;
        else
            EXPECT_FALSE(all.contains(m.key)) << m.key;
        EXPECT_STREQ(hostlens_last_error(), "") << m.key;
        /* Only the module that talks to a third party makes a request. */
        EXPECT_EQ(fake_calls(FAKE_HTTP_BEGIN), (m.flags & HL_MODULE_NETWORK) ? 1 : 0) << m.key;
        /* Only the WMI modules enter COM. */
        EXPECT_EQ(fake_calls(FAKE_COM_INIT) > 0, (m.flags & HL_MODULE_COM) != 0) << m.key;
    }
}

TEST(Collect, OnePassEntersComOnceAroundItsQueries)
{
    for (const char *list : {"gpu,memory,battery,cpu_temp", (const char *)nullptr}) {
        fresh(list);
        /* Each query's own entry nests in the pass's: one more entry than
         * there were queries, all balanced, and the thread outside COM. */
        EXPECT_EQ(fake_calls(FAKE_COM_INIT), (int)fake_wmi_log().queries.size() + 1);
        EXPECT_EQ(fake_calls(FAKE_COM_UNINIT), fake_calls(FAKE_COM_INIT));
        EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
    }
}

/* A pass's queries of one namespace share one connection, made at the
 * first of them and released when the WMI collectors are done; a
 * connection that failed is not tried again in the pass. */
TEST(Collect, OneConnectionPerNamespaceInAPass)
{
    const std::string GPU = fresh("gpu").dump(), BATTERY = fresh("battery").dump();
    nlohmann::ordered_json doc = fresh("gpu,battery,cpu_temp");
    EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR), 1);
    EXPECT_EQ(fake_wmi_log().namespaces, (std::vector<std::string>{"root\\WMI", "root\\cimv2"}));
    EXPECT_EQ(fake_wmi_log().queries.size(), 3u);
    EXPECT_EQ(nlohmann::ordered_json({{"gpu", doc["gpu"]}}).dump(), GPU);
    EXPECT_EQ(nlohmann::ordered_json({{"battery", doc["battery"]}}).dump(), BATTERY);
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(fake_wmi_misuse(), 0);

    /* Alone, each query still connects for itself, and the thread keeps no
     * session once the pass is over. */
    fake_reset();
    script_machine();
    parsed(hostlens_gpu());
    parsed(hostlens_battery());
    EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR), 2);
    EXPECT_EQ(fake_wmi_log().namespaces.size(), 2u);
    EXPECT_TRUE(fake_all_released());

    /* So does each query of a pass whose own COM entry failed: a connection
     * made in one query's apartment must not serve the next apartment, nor
     * be released after the last one has closed. */
    fake_reset();
    script_machine();
    fake_fail(FAKE_COM_INIT, 1);
    EXPECT_EQ(parsed(hostlens_collect("gpu,battery,cpu_temp")).dump(), doc.dump());
    EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR), 3);
    EXPECT_TRUE(fake_all_released());

    struct {
        fake_op op;
        int locators, connects;
    } failures[] = {{FAKE_WMI_LOCATOR, 1, 0}, {FAKE_WMI_CONNECT, 1, 2}, {FAKE_WMI_EXEC, 1, 2}};
    for (const auto &f : failures) {
        fake_reset();
        script_machine();
        fake_fail(f.op, 1, true);
        doc = parsed(hostlens_collect("gpu,battery,cpu_temp"));
        EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR), f.locators) << fake_op_name(f.op);
        EXPECT_EQ(fake_calls(FAKE_WMI_CONNECT), f.connects) << fake_op_name(f.op);
        EXPECT_EQ(doc["battery"], nlohmann::ordered_json::array()) << fake_op_name(f.op);
        EXPECT_STREQ(hostlens_last_error(), "");
        EXPECT_TRUE(fake_all_released()) << fake_op_name(f.op);
        EXPECT_EQ(fake_wmi_misuse(), 0);
        EXPECT_EQ(fake_com_apartment(), FAKE_APT_NONE);
    }
}

TEST(Collect, ComCoversTheWmiCollectorsAndNothingElse)
{
    fake_reset();
    script_machine();
    fake_trace_ops();
    parsed(hostlens_collect("cpu_temp,public_ip,gpu,disk,battery,network"));
    /* Every WMI call inside the pass's one entry; the other modules' calls
     * (the HTTP request's waits above all) outside it. */
    const std::vector<fake_op> &ops = fake_traced_ops();
    int depth = 0, entries = 0;
    for (fake_op op : ops) {
        bool wmi = op >= FAKE_WMI_LOCATOR && op <= FAKE_VARIANT_CLEAR;
        bool other = op == FAKE_HTTP_BEGIN || op == FAKE_HTTP_READ || op == FAKE_ADAPTERS ||
                     op == FAKE_LOGICAL_DRIVES || op == FAKE_SLEEP;
        if (op == FAKE_COM_INIT)
            entries += depth++ == 0;
        else if (op == FAKE_COM_UNINIT)
            depth--;
        else if (wmi || other) {
            EXPECT_EQ(depth > 0, wmi) << fake_op_name(op);
        }
    }
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(depth, 0);
}

TEST(Collect, ChoiceFromTheList)
{
    struct {
        const char *list;
        const char *keys;
    } cases[] = {
        {"memory,cpu", "cpu,memory"}, /* the snapshot's order, not the list's */
        {" uptime , boot_time,,\tuser,uptime ,", "uptime,boot_time,user"},
        {"public_ip,os", "os,public_ip"},
        {nullptr, STAYS},
        {"", STAYS},
        {" , ,\t,", STAYS}, /* names nothing */
        {"CPU,cpu ,", "cpu,unknown_modules"},
        {"logo", "unknown_modules"},
    };
    nlohmann::ordered_json all = fresh_snapshot();
    for (auto &c : cases) {
        const char *shown = c.list != nullptr ? c.list : "NULL";
        nlohmann::ordered_json doc = fresh(c.list);
        EXPECT_EQ(keys_of(doc), c.keys) << shown;
        doc.erase("unknown_modules");
        for (auto it = doc.begin(); it != doc.end(); ++it)
            EXPECT_EQ(it.value(), all[it.key()]) << shown << ": " << it.key();
        EXPECT_EQ(fake_calls(FAKE_HTTP_BEGIN), doc.contains("public_ip") ? 1 : 0) << shown;
    }
}

TEST(Collect, NamesThatAreNoSectionAreListedAsGiven)
{
    struct {
        const char *list;
        const char *text;
    } cases[] = {
        {"nope", "{\"unknown_modules\":[\"nope\"]}"},
        {" b ,a,b,a, b", "{\"unknown_modules\":[\"b\",\"a\"]}"},
        {"Os, os x", "{\"unknown_modules\":[\"Os\",\"os x\"]}"},
        /* Quotes, control bytes and invalid UTF-8 pass through the writer. */
        {"a\"b,\x01\\,\xff\xfe,\xc3\xa9", "{\"unknown_modules\":[\"a\\\"b\",\"\\u0001\\\\\","
                                          "\"\xef\xbf\xbd\xef\xbf\xbd\",\"\xc3\xa9\"]}"},
        /* Names that are written alike are listed once. */
        {"\xff,\xfe,\xef\xbf\xbd", "{\"unknown_modules\":[\"\xef\xbf\xbd\"]}"},
    };
    for (auto &c : cases)
        EXPECT_EQ(doc(hostlens_collect(c.list)), c.text) << c.list;

    script_machine();
    std::string text = doc(hostlens_collect("memory,x"));
    EXPECT_EQ(text.substr(text.find("},")), "},\"unknown_modules\":[\"x\"]}");

    /* A list that lies in the thread's previous document (under ASan, a
     * read of a freed block would stop the test). */
    const char *previous = hostlens_collect("zz");
    EXPECT_EQ(doc(hostlens_collect(strstr(previous, "zz"))),
              "{\"unknown_modules\":[\"zz\\\"]}\"]}");
}

TEST(Collect, ALongListOnceEachKeepingNoMemory)
{
    /* 300,000 different names, then each again in reverse, far from its
     * first appearance. */
    std::string list = "\x80\t, memory ,,", want = "[\"\xef\xbf\xbd\"";
    const int names = 300000;
    for (int i = 0; i < 2 * names; i++) {
        int n = i < names ? i : 2 * names - 1 - i;
        list += "n" + std::to_string(n) + ",";
        if (i < names)
            want += ",\"n" + std::to_string(n) + "\"";
    }
    script_machine();
    hostlens_memory(); /* the thread's block exists before the count */
    long blocks = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json doc = parsed(hostlens_collect(list.c_str()));
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), blocks);
    EXPECT_EQ(keys_of(doc), "memory,unknown_modules");
    EXPECT_EQ(doc["unknown_modules"].dump(), want + "]");
}

/* The unknown names outgrow their first block and the next one cannot be
 * had: the document fails as a whole, as it does for a section, in both
 * readers of a list. */
TEST(Collect, UnknownNamesOutOfMemoryFailTheDocument)
{
    std::string list = "a," + std::string(70000, 'x');
    script_machine();
    hostlens_sampler *s = hostlens_sampler_open();
    ASSERT_NE(s, nullptr);
    long blocks = fake_outstanding(FAKE_RES_HEAP);
    fake_fail(FAKE_REALLOC, 1);
    EXPECT_EQ(hostlens_collect(list.c_str()), nullptr);
    fake_fail(FAKE_REALLOC, 1);
    EXPECT_EQ(hostlens_sampler_read(s, list.c_str()), nullptr);
    hostlens_sampler_close(s);
    EXPECT_LE(fake_outstanding(FAKE_RES_HEAP), blocks);
}
