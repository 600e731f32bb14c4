/*
 * hostlens_collect: the choice read from the list, the snapshot's order and
 * sections, names that are no section, lists of any length and bytes, and
 * the public IP only when named. The table of modules drives the walks.
 */
#include "test_util.h"

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

TEST(Collect, TheTableIsTheSnapshotsOrder)
{
    std::string keys;
    for (const hl_module_t &m : hl_modules)
        keys += (keys.empty() ? "" : ",") + std::string(m.key);
    nlohmann::ordered_json all = fresh_snapshot();
    all.erase("logo");
    EXPECT_EQ(keys, keys_of(all));
}

TEST(Collect, EachModuleAloneIsItsSnapshotSection)
{
    nlohmann::ordered_json all = fresh_snapshot();
    for (const hl_module_t &m : hl_modules) {
        nlohmann::ordered_json one = fresh(m.key);
        EXPECT_EQ(keys_of(one), m.key);
        EXPECT_EQ(one[m.key], all[m.key]) << m.key;
        EXPECT_STREQ(hostlens_last_error(), "") << m.key;
        /* Only the module that talks to a third party makes a request. */
        EXPECT_EQ(fake_calls(FAKE_HTTP_BEGIN), (m.flags & HL_MODULE_NETWORK) ? 1 : 0) << m.key;
    }
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
    };
    for (auto &c : cases)
        EXPECT_EQ(doc(hostlens_collect(c.list)), c.text) << c.list;

    script_machine();
    std::string text = doc(hostlens_collect("memory,x"));
    EXPECT_EQ(text.substr(text.find("},")), "},\"unknown_modules\":[\"x\"]}");
}

TEST(Collect, ALongListNeedsNoMemoryOfItsOwn)
{
    std::string list;
    int n = 0;
    while (list.size() < 10 * 1024) {
        list += n % 3 == 0   ? " memory ,,"
                : n % 3 == 1 ? "name" + std::to_string(n % 50) + ","
                             : "\x80\t,";
        n++;
    }
    script_machine();
    hostlens_memory(); /* the thread's block exists before the count */
    long blocks = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json doc = parsed(hostlens_collect(list.c_str()));
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), blocks);
    EXPECT_EQ(keys_of(doc), "memory,unknown_modules");
    /* 50 distinct names, then the lone byte 0x80, which became U+FFFD. */
    ASSERT_EQ(doc["unknown_modules"].size(), 51u);
    EXPECT_EQ(doc["unknown_modules"][0], "name1");
    EXPECT_EQ(doc["unknown_modules"][1], "\xef\xbf\xbd");
}

TEST(Collect, EveryUnknownNameOnceHoweverMany)
{
    /* More different names than one round of the set holds, each given
     * three times, the repeats far from the first. */
    std::string list, want = "{\"unknown_modules\":[";
    for (int round = 0; round < 3; round++)
        for (int i = 0; i < 2500; i++) {
            list += "n" + std::to_string(round == 1 ? 2499 - i : i) + ",";
            if (round == 0)
                want += std::string(i > 0 ? "," : "") + "\"n" + std::to_string(i) + "\"";
        }
    EXPECT_EQ(doc(hostlens_collect(list.c_str())), want + "]}");
}
