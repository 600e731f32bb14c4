/*
 * Shell, terminal and terminal font: the ComSpec and registry rules, the
 * order of the terminal variables, the reduced snapshot section.
 */
#include "test_util.h"

namespace
{
const char *const processor = "SOFTWARE\\Microsoft\\Command Processor";

std::string shell_doc(const char *name, const char *path, const char *version)
{
    return std::string("{\"shell\":{\"name\":\"") + name + "\",\"path\":\"" + path +
           "\",\"version\":\"" + version + "\"}}";
}
} // namespace

TEST(Shell, ComSpecGivesPathAndFileName)
{
    struct {
        const char *comspec; /* nullptr: not set */
        const char *name;
        const char *path;
    } cases[] = {
        {nullptr, "cmd.exe", "C:\\\\Windows\\\\System32\\\\cmd.exe"},
        {"", "cmd.exe", "C:\\\\Windows\\\\System32\\\\cmd.exe"},
        {"D:\\tools\\sh.exe", "sh.exe", "D:\\\\tools\\\\sh.exe"},
        {"cmd", "cmd.exe", "cmd"},
        {"C:\\shells\\", "unknown", "C:\\\\shells\\\\"},
    };
    for (const auto &c : cases) {
        fake_reset();
        if (c.comspec != nullptr)
            fake_env_set("ComSpec", c.comspec);
        EXPECT_EQ(doc(hostlens_shell()), shell_doc(c.name, c.path, "unknown"))
            << (c.comspec ? c.comspec : "(unset)");
    }
}

TEST(Shell, PathsThatDoNotFitAreUnknown)
{
    /* 254 UTF-8 bytes fit the 256-byte field, 255 do not; 512 units do not
     * fit the variable buffer at all (its contents are then undefined). */
    std::string fits = "C:\\" + std::string(251, 'p');
    fake_env_set("ComSpec", fits.c_str());
    hl_shell_info_t r;
    hl_impl_shell(&r);
    EXPECT_EQ(std::string(r.path), fits);
    EXPECT_EQ(std::string(r.name), std::string(127, 'p')); /* cut to the field */

    fake_env_set("ComSpec", ("C:\\" + std::string(252, 'p')).c_str());
    hl_impl_shell(&r);
    EXPECT_STREQ(r.path, "unknown");
    EXPECT_STREQ(r.name, "cmd.exe");

    fake_env_set_long("ComSpec", 512);
    EXPECT_EQ(doc(hostlens_shell()), shell_doc("cmd.exe", "unknown", "unknown"));
    fake_env_set_long("ComSpec", 511);
    hl_impl_shell(&r);
    EXPECT_STREQ(r.path, "unknown"); /* 511 bytes need more than 254 */
}

TEST(Shell, RegistryVersionLosesItsLastPart)
{
    struct {
        const char *stored;
        const char *version;
    } cases[] = {{"10.0.22621.1", "10.0.22621"}, {"10", "10"}, {".5", "unknown"}, {"", "unknown"}};
    for (const auto &c : cases) {
        fake_reset();
        fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, processor, "Version", c.stored);
        hl_shell_info_t r;
        hl_impl_shell(&r);
        EXPECT_STREQ(r.version, c.version) << c.stored;
        EXPECT_TRUE(fake_all_released());
    }
    fake_reset();
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, processor, "Version", 10);
    hl_shell_info_t r;
    hl_impl_shell(&r);
    EXPECT_STREQ(r.version, "unknown");
}

TEST(Terminal, FirstVariableFoundWins)
{
    struct {
        std::vector<std::pair<const char *, const char *>> vars;
        const char *name;
    } cases[] = {
        {{}, "unknown"},
        {{{"WT_SESSION", "{1}"}, {"TERM", "xterm"}}, "Windows Terminal"},
        {{{"TERM_PROGRAM", "vscode"}, {"ConEmuPID", "42"}, {"TERM", "xterm"}}, "vscode"},
        {{{"ConEmuPID", "42"}, {"TERM", "xterm"}}, "ConEmu"},
        {{{"TERM", "xterm-256color"}}, "xterm"},
        {{{"TERM", "-x"}}, "unknown"},
        {{{"TERM", "screen"}}, "screen"},
        {{{"WT_SESSION", ""}, {"TERM", "vt100"}}, "vt100"}, /* empty is not set */
    };
    for (const auto &c : cases) {
        fake_reset();
        for (const auto &v : c.vars)
            fake_env_set(v.first, v.second);
        EXPECT_EQ(doc(hostlens_terminal()), std::string("{\"terminal\":{\"name\":\"") + c.name +
                                                "\",\"version\":\"unknown\"}}");
    }
}

TEST(Terminal, ValuesThatDoNotFitAreUnknownButStillWin)
{
    fake_env_set_long("TERM_PROGRAM", 600);
    fake_env_set("TERM", "xterm");
    hl_terminal_info_t r;
    hl_impl_terminal(&r);
    EXPECT_STREQ(r.name, "unknown");

    fake_env_set("TERM_PROGRAM", std::string(127, 'v').c_str());
    hl_impl_terminal(&r);
    EXPECT_STREQ(r.name, "unknown");
    fake_env_set("TERM_PROGRAM", std::string(126, 'v').c_str());
    hl_impl_terminal(&r);
    EXPECT_EQ(std::string(r.name), std::string(126, 'v'));
}

TEST(TerminalFont, AlwaysUnknownAndSectionHasOnlyName)
{
    EXPECT_EQ(doc(hostlens_terminal_font()),
              "{\"terminal_font\":{\"name\":\"unknown\",\"size\":\"unknown\"}}");
    hl_terminal_font_info_t f;
    hl_impl_terminal_font(&f);
    EXPECT_EQ(written([&](hl_json_t *j) { hl_write_terminal_font(j, &f, HL_SECTION); }),
              "\"name\":\"unknown\"");
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["terminal_font"].dump(), "{\"name\":\"unknown\"}");
}

TEST(Shell, SnapshotSectionsMatchTheDocuments)
{
    fake_env_set("ComSpec", "D:\\tools\\sh.exe");
    fake_env_set("TERM", "xterm-256color");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, processor, "Version", "10.0.19045.1");
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ("{\"shell\":" + all["shell"].dump() + "}",
              shell_doc("sh.exe", "D:\\\\tools\\\\sh.exe", "10.0.19045"));
    EXPECT_EQ(all["terminal"].dump(), "{\"name\":\"xterm\",\"version\":\"unknown\"}");
    EXPECT_TRUE(fake_all_released());
}
