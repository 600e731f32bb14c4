/*
 * Per-thread documents: the envelope, the error slot, NULL on exhausted
 * memory, threads, the logos and the snapshot frame.
 */
#include "test_util.h"

#include "exports_table.h"
#include "machine.h"

#include <string.h>

#include <thread>

TEST(Documents, VersionAndEmptyErrorOnAFreshThread)
{
    std::string version, error;
    std::thread t([&] {
        version = hostlens_version();
        error = hostlens_last_error();
    });
    t.join();
    EXPECT_EQ(version, HOSTLENS_VERSION_STRING);
    EXPECT_EQ(error, "");
}

TEST(Documents, EnvelopeShapes)
{
    hl_json_t *j = begin_module("k");
    EXPECT_STREQ(j->data, "{\"k\":{");
    EXPECT_STREQ(end_module(), "{\"k\":{}}");
    begin_module_arr("gpu");
    EXPECT_STREQ(end_module_arr(), "{\"gpu\":[]}");
}

TEST(Documents, EveryDocumentEmptiesTheErrorSlot)
{
    hl_set_error("wmi: Query \"%s\" failed (hr=0x%08lX)", "x", 0x80041017ul);
    EXPECT_STREQ(hl_get_error(), "wmi: Query \"x\" failed (hr=0x80041017)");
    /* The list documents close themselves, apart from end_module. */
    for (const export_entry &e : export_table) {
        if (e.kind == EXPORT_TEXT)
            continue;
        hl_set_error("pending");
        ASSERT_NE(e.fn(), nullptr) << e.name;
        EXPECT_STREQ(hostlens_last_error(), "") << e.name;
    }
}

TEST(Documents, ErrorSlotCutsAt255BytesOnABoundary)
{
    std::string ascii(300, 'a');
    hl_set_error("%s", ascii.c_str());
    EXPECT_EQ(strlen(hl_get_error()), 255u);
    /* 254 ASCII bytes then "é": its second byte would be byte 256. */
    std::string text = std::string(254, 'a') + "\xC3\xA9";
    hl_set_error("%s", text.c_str());
    EXPECT_EQ(std::string(hl_get_error()), std::string(254, 'a'));
    hl_clear_error();
    EXPECT_STREQ(hostlens_last_error(), "");
}

TEST(Documents, SecondCallReplacesTheFirstText)
{
    std::string first = doc(hostlens_memory());
    long blocks = fake_outstanding(FAKE_RES_HEAP);
    std::string second = doc(hostlens_swap());
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), blocks); /* one block per thread */
    parsed(first.c_str());
    parsed(second.c_str());
}

TEST(Documents, NullWhenTheFirstBlockIsRefused)
{
    /* The thread's record exists; the refused block is the document's own. */
    hl_json_thread();
    fake_fail(FAKE_ALLOC, 1);
    EXPECT_EQ(hostlens_memory(), nullptr);
    EXPECT_EQ(fake_calls(FAKE_MEMORY_STATUS), 1); /* the collector still ran */
    EXPECT_NE(hostlens_memory(), nullptr);        /* the next call starts afresh */
    fake_fail(FAKE_ALLOC, 1);
    EXPECT_EQ(hostlens_get_all(), nullptr);
}

TEST(Documents, NullWhenAnEnlargementIsRefusedPartWay)
{
    hl_json_t *j = begin_module("big");
    std::string run(70000, 'x');
    fake_fail(FAKE_REALLOC, 1);
    hl_json_kvs(j, "text", run.c_str());
    EXPECT_EQ(end_module(), nullptr);
    EXPECT_NE(hostlens_memory(), nullptr);
}

TEST(Documents, ThreadsGetTheirOwnCompleteDocuments)
{
    fake_set_memory(UINT64_C(17179869184), UINT64_C(6710886400), UINT64_C(19327352832),
                    UINT64_C(8589934592));
    const std::string memory = doc(hostlens_memory());
    std::string seen[4];
    std::thread threads[4];
    for (int t = 0; t < 4; t++) {
        threads[t] = std::thread([&, t] {
            for (int i = 0; i < 200; i++) {
                const char *text = (t % 2) ? hostlens_memory() : hostlens_get_all();
                std::string s = doc(text);
                if (t % 2 ? s != memory
                          : !nlohmann::json::accept(s) || s.rfind("{\"os\":", 0) != 0) {
                    seen[t] = s;
                    return;
                }
            }
            seen[t] = "ok";
        });
    }
    for (auto &t : threads)
        t.join();
    for (const auto &s : seen)
        EXPECT_EQ(s, "ok");
}

TEST(Logos, ChoiceByExactName)
{
    const char *def = hostlens_logo(NULL);
    EXPECT_EQ(hostlens_logo(""), def);
    EXPECT_EQ(hostlens_logo("generic"), def);
    EXPECT_EQ(hostlens_logo("Windows"), def);
    EXPECT_EQ(hostlens_logo("windows "), def);
    EXPECT_NE(hostlens_logo("windows"), def);
    EXPECT_EQ(hostlens_logo("windows"), hostlens_logo("windows"));
    EXPECT_EQ(strlen(def), 69u);
    EXPECT_EQ(strlen(hostlens_logo("windows")), 95u);
    EXPECT_EQ(strlen(hostlens_logo("linux")), 126u);
    EXPECT_EQ(strlen(hostlens_logo("zephrion")), 136u);
    EXPECT_EQ(std::string(def),
              " ___________ \n<  system   >\n ------------\n <          >\n ------------");
    EXPECT_EQ(std::string(hostlens_logo("windows")),
              "   __\n  |  \\____\n  |  |   |\\_\n  |__|   |  |_\n     |____|  |_\n"
              "     |  |   |  |_\n     |__|   |__|");
    EXPECT_EQ(std::string(hostlens_logo("linux")),
              "      _\n     | |    _\n _   | |__ | | __ ___  __\n| |  | '_ \\| |/ // / _\\/ |\n"
              "| |__| |_) |   <|  __/| |\n \\___|_.__/|_|\\_\\_|   |_|");
}

TEST(Logos, ProductMarkHasElevenNarrowLines)
{
    std::string logo = hostlens_logo("zephrion");
    int lines = 1;
    size_t width = 0, start = 0;
    for (size_t i = 0; i <= logo.size(); i++) {
        if (i == logo.size() || logo[i] == '\n') {
            width = std::max(width, i - start);
            start = i + 1;
            lines += i < logo.size();
        }
    }
    EXPECT_EQ(lines, 11);
    EXPECT_LE(width, 13u);
    EXPECT_NE(logo.back(), '\n');
}

TEST(Logos, DoNotDisturbTheLastDocument)
{
    const char *text = hostlens_memory();
    std::string before = doc(text);
    hostlens_logo("linux");
    hostlens_version();
    hostlens_last_error();
    EXPECT_EQ(doc(text), before);
}

TEST(Snapshot, FrameEndsWithTheEscapedDefaultLogo)
{
    script_machine();
    std::string all = doc(hostlens_get_all());
    auto j = parsed(all.c_str());
    ASSERT_TRUE(j.is_object());
    std::string keys;
    for (auto it = j.begin(); it != j.end(); ++it)
        keys += (keys.empty() ? "" : ",") + it.key();
    EXPECT_EQ(keys, "os,host,kernel,uptime,boot_time,packages,shell,resolution,de,wm,terminal,"
                    "terminal_font,cpu,cpu_temp,gpu,memory,swap,battery,disk,network,public_ip,"
                    "locale,user,process_count,logo");
    const std::string tail = "\"logo\":\" ___________ \\n<  system   >\\n ------------\\n"
                             " <          >\\n ------------\"}";
    ASSERT_GE(all.size(), tail.size());
    EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
}

TEST(Snapshot, ReducedSectionsLeaveOutTheirMembers)
{
    script_machine();
    fake_http_set_phase(HL_HTTP_SEND_FAILED); /* a failed public IP has no "error" here */
    auto j = parsed(hostlens_get_all());
    EXPECT_EQ(j["uptime"].size(), 3u);
    EXPECT_FALSE(j["uptime"].contains("last_boot"));
    EXPECT_EQ(j["boot_time"].size(), 1u);
    EXPECT_EQ(j["boot_time"]["iso"], j["uptime"]["boot_time_iso"]);
    EXPECT_EQ(j["resolution"].size(), 2u);
    EXPECT_EQ(j["terminal_font"].size(), 1u);
    EXPECT_EQ(j["user"].size(), 2u);
    EXPECT_FALSE(j["user"].contains("full_name"));
    EXPECT_EQ(j["public_ip"].size(), 3u);
    EXPECT_STREQ(hostlens_last_error(), "");
}

TEST(Snapshot, FullSectionsEqualTheirModuleDocuments)
{
    /* Each call on a freshly scripted machine, so that sampled values (CPU
     * usage, uptime) come from the same answers. */
    auto fresh = [](const char *(*fn)(void)) {
        fake_reset();
        script_machine();
        return parsed(fn());
    };
    auto all = fresh(hostlens_get_all);
    int compared = 0;
    for (int i = 0; i < HL_SNAPSHOT_MODULES; i++) {
        const hl_module_t &m = hl_modules[i];
        if (m.form != HL_DOCUMENT)
            continue;
        for (const export_entry &e : export_table)
            if ((e.kind == EXPORT_OBJECT || e.kind == EXPORT_LIST) && m.key == std::string(e.key)) {
                EXPECT_EQ(all[m.key], fresh(e.fn)[m.key]) << m.key;
                compared++;
            }
    }
    EXPECT_EQ(compared, 18);
}
