/*
 * The summary view over documents from the substitute platform: the lines of
 * a scripted machine, what a failing machine leaves out, and the logo and
 * colour layout.
 */
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "collect.h"
#include "fake.h"
#include "hostlens.h"
#include "machine.h"
#include "summary.h"

using json = nlohmann::ordered_json;

/* The summary's document as the program collects it: the display sections
 * on a second thread beside the rest. */
static json summary_document()
{
    collection c;
    EXPECT_TRUE(collect(summary_sections, false, &c, summary_beside));
    return c.doc;
}

TEST(Summary, ScriptedMachine)
{
    script_machine();
    json doc = summary_document();
    json ip = {{"ip", "203.0.113.7"}, {"country", "Germany"}, {"city", "Berlin"}};
    EXPECT_EQ(summary_text(doc, ip, "", false),
              "ada@workstation\n"
              "---------------\n"
              "OS: Windows 10 Pro 22H2 (build 19045.3803)\n"
              "Kernel: Windows NT 6.3.19045\n"
              "Host: Maker Model 7\n"
              "VM: KVM\n"
              "Uptime: 2 days, 7 hours, 33 minutes\n"
              "Packages: 2 (windows)\n"
              "Shell: cmd.exe 10.0.22621\n"
              "Display (DELL U2720Q): 3840x2160 @ 59.95 Hz, 150%, DisplayPort, primary\n"
              "Display: 1920x1080 @ 144.00 Hz, 125%, internal\n"
              "DE: Windows Shell\n"
              "WM: Windows Shell\n"
              "Terminal: Windows Terminal\n"
              "CPU: Quad-Core Processor @ 3.60GHz (2C/4T)\n"
              "GPU: NVIDIA GeForce GT 710 (8192 MiB)\n"
              "GPU: Intel(R) UHD Graphics 630 (128 MiB)\n"
              "Memory: 9984 MiB / 16384 MiB (60.9%)\n"
              "Commit: 10240 MiB / 18432 MiB (55.6%)\n"
              "Disk (C:\\): 201.5 GiB / 476.9 GiB (42.2%) - NTFS\n"
              "Local IP: 192.168.1.20\n"
              "Public IP: 203.0.113.7 (Berlin, Germany)\n"
              "Battery: 86% Discharging, health 91%, 312 cycles\n"
              "Locale: en-US\n");
}

TEST(Summary, OsLineAndVirtualMachine)
{
    struct {
        const char *what;
        const char *doc;
        const char *lines;
    } cases[] = {
        {"Windows 11", R"J({"os":{"name":"Windows 11 Pro","codename":"23H2","build_id":"22631",
           "pretty_name":"Windows 11 Pro 10.0 (23H2)"},"os_release":{"full_build":"22631.2861"}})J",
         "OS: Windows 11 Pro 23H2 (build 22631.2861)\n"},
        {"no release module: the os build", R"J({"os":{"name":"Microsoft Windows 7",
           "codename":"Service Pack 1","build_id":"7601","pretty_name":"x"}})J",
         "OS: Microsoft Windows 7 Service Pack 1 (build 7601)\n"},
        {"no build at all: pretty_name", R"J({"os":{"name":"Windows","codename":"unknown",
           "build_id":"unknown","pretty_name":"Windows 0"}})J",
         "OS: Windows 0\n"},
        {"a guest", R"J({"hypervisor":{"present":1,"name":"VMware","guest":1}})J", "VM: VMware\n"},
        {"the root partition is no VM",
         R"J({"hypervisor":{"present":1,"name":"Hyper-V","guest":0}})J", ""},
        {"bare metal", R"J({"hypervisor":{"present":0,"name":"unknown","guest":0}})J", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(summary_text(json::parse(c.doc), json(), "", false), c.lines) << c.what;
}

TEST(Summary, FailingPlatformLeavesValuesOutNeverPrintsUnknown)
{
    struct {
        fake_op op;
        const char *gone; /* a line the failure removes */
    } cases[] = {
        {FAKE_MEMORY_STATUS, "Memory: "},  {FAKE_USER_NAME, "ada@"},
        {FAKE_REG_OPEN, "OS: Windows 10"}, {FAKE_LOCALE_NAME, "Locale: "},
        {FAKE_DISK_SPACE, "Disk (C:"},     {FAKE_BATTERY_DEVICES, "Battery: "},
        {FAKE_ADAPTERS, "Local IP: "},     {FAKE_DISPLAY_ADAPTERS, "GPU: "},
    };
    for (const auto &c : cases) {
        fake_reset();
        script_machine();
        fake_set_memory(UINT64_C(16) << 30, UINT64_C(6) << 30, UINT64_C(18) << 30,
                        UINT64_C(8) << 30);
        fake_fail(c.op, 1, true);
        std::string text = summary_text(summary_document(), json(), "", false);
        EXPECT_EQ(text.find(c.gone), std::string::npos) << fake_op_name(c.op) << "\n" << text;
        EXPECT_EQ(text.find("unknown"), std::string::npos) << text;
        EXPECT_NE(text.find("Kernel: "), std::string::npos) << text;
    }
}

/* The summary's one collection waits on nothing: no CPU sample, no sleep,
 * and no COM, whose first WMI connection in a process costs more than every
 * other section together. */
TEST(Summary, CollectionNeitherSamplesNorSleepsNorEntersCom)
{
    script_machine();
    fake_trace_ops();
    std::string text = summary_text(summary_document(), json(), "", false);
    for (fake_op op : fake_traced_ops())
        EXPECT_TRUE(op != FAKE_SLEEP && op != FAKE_SYSTEM_TIMES && op != FAKE_PDH_OPEN &&
                    op != FAKE_COM_INIT && op != FAKE_WMI_LOCATOR)
            << fake_op_name(op);
    EXPECT_NE(text.find("\nCPU: Quad-Core Processor @ 3.60GHz (2C/4T)\n"), std::string::npos)
        << text;
}

/* The displays replace the one resolution line, which comes back when
 * they are not known; several batteries are named. */
TEST(Summary, DisplaysOrTheResolutionAndEachBattery)
{
    script_machine();
    fake_add_battery({9,
                      true,
                      "",
                      fake_battery_status(1, 0xFFFFFFFFu, 12000, 0),
                      {{0, fake_battery_information(0, "LION", 50000, 50000, 0)}}});
    fake_fail(FAKE_DISPLAY_CONFIG_SIZES, 1, true);
    std::string text = summary_text(summary_document(), json(), "", false);
    EXPECT_EQ(text.find("Display"), std::string::npos) << text;
    EXPECT_NE(text.find("\nResolution: 1920x1080\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nBattery (DELL 1VX1H93): 86% Discharging, health 91%, 312 cycles\n"
                        "Battery: AC, health 100%\n"),
              std::string::npos)
        << text;
}

TEST(Summary, LogoBesideTheLinesAndColourOnlyWhenAsked)
{
    json doc = {{"user", {{"username", "ada"}, {"host", "pc"}}},
                {"resolution", {{"width", 1920}, {"height", 1080}}}};
    EXPECT_EQ(summary_text(doc, json(), "ab\n\ncdef\nx\ny", false), "ab     ada@pc\n"
                                                                    "       ------\n"
                                                                    "cdef   Resolution: 1920x1080\n"
                                                                    "x\n"
                                                                    "y\n");
    EXPECT_EQ(summary_text(doc, json(), "ab", true),
              "\x1b[34mab\x1b[0m   \x1b[1;36mada@pc\x1b[0m\n"
              "     ------\n"
              "     \x1b[1;36mResolution\x1b[0m: 1920x1080\n");
}

TEST(Summary, UptimeInWordsWithSingularUnits)
{
    struct {
        json uptime;
        const char *line; /* nullptr: no line */
    } cases[] = {
        {{{"total_seconds", 3900}, {"formatted", "1 hours, 5 minutes"}}, "1 hour, 5 minutes"},
        {{{"total_seconds", 90061}}, "1 day, 1 hour, 1 minute"},
        {{{"total_seconds", 200000}}, "2 days, 7 hours, 33 minutes"},
        {{{"total_seconds", 86400}}, "1 day, 0 hours, 0 minutes"},
        {{{"total_seconds", 7260}}, "2 hours, 1 minute"},
        {{{"total_seconds", 60}}, "1 minute"},
        {{{"total_seconds", 1}}, "1 second"},
        {{{"total_seconds", 0}}, "0 seconds"},
        /* No seconds to word: the document's own text. */
        {{{"formatted", "3 minutes"}}, "3 minutes"},
        {{{"total_seconds", -5}, {"formatted", "5 minutes"}}, "5 minutes"},
        {{{"total_seconds", "unknown"}, {"formatted", "unknown"}}, nullptr},
    };
    for (const auto &c : cases) {
        std::string text = summary_text(json{{"uptime", c.uptime}}, json(), "", false);
        EXPECT_EQ(text, c.line == nullptr ? "" : std::string("Uptime: ") + c.line + "\n")
            << c.uptime.dump();
    }
}

TEST(Summary, TitleUnderlineCountsColumnsNotBytes)
{
    struct {
        const char *user;
        size_t columns;
    } cases[] = {
        {"ada", 6},                      /* ada@pc */
        {"J\xc3\xbcrgen", 9},            /* Jürgen: 7 characters, 8 bytes */
        {"\xe5\xb1\xb1\xe7\x94\xb0", 7}, /* 山田: two wide characters */
        {"\xf0\x90\x8d\x88x", 5},        /* a 4-byte character, one column */
        /* สมศักดิ์: eight characters, three of them marks over the one before */
        {"\xe0\xb8\xaa\xe0\xb8\xa1\xe0\xb8\xa8\xe0\xb8\xb1\xe0\xb8\x81\xe0\xb8\x94\xe0\xb8\xb4"
         "\xe0\xb9\x8c",
         8},
        {"e\xcc\x81", 4},        /* e and a combining acute accent */
        {"\xf0\x9f\x8f\xa0", 5}, /* an emoji, two columns */
        /* a check mark drawn as an emoji (two columns), a sun as text (one) */
        {"\xe2\x9c\x85\xe2\x98\x80", 6},
    };
    for (const auto &c : cases) {
        json doc = {{"user", {{"username", c.user}, {"host", "pc"}}}};
        std::string text = summary_text(doc, json(), "", false);
        EXPECT_EQ(text, std::string(c.user) + "@pc\n" + std::string(c.columns, '-') + "\n")
            << c.user;
    }
    /* Control characters in a value neither break the lines nor reach the
     * terminal. */
    json doc = {{"user", {{"username", "a\nb"}, {"host", "pc\x1b[2J"}}}};
    EXPECT_EQ(summary_text(doc, json(), "", false), "a b@pc [2J\n----------\n");
    /* Nor in a label named by the firmware (a monitor's EDID name). */
    json display = {{"name", "M\x1b[2J\nX"}, {"width", 800}, {"height", 600}};
    doc = {{"displays", json::array({display})}};
    std::string text = summary_text(doc, json(), "", false);
    EXPECT_EQ(text.find_first_of("\x1b\n"), text.find('\n')) << text;
}
