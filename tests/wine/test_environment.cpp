/*
 * The real DLL under Wine: shell and terminal from variables this process
 * sets, user, host and locale against the test's own calls, the process
 * count against its own snapshot walk, and packages against uninstall
 * entries it writes into both registry views.
 */
#include "wine_common.h"

#include <tlhelp32.h>

#include <string>
#include <vector>

namespace
{

std::string utf8(const wchar_t *w)
{
    char buf[1024];
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, sizeof buf, NULL, NULL);
    return n > 0 ? std::string(buf) : std::string("<conversion failed>");
}

const wchar_t *const terminal_vars[] = {L"WT_SESSION", L"TERM_PROGRAM", L"ConEmuPID", L"TERM"};

void clear_terminal_vars()
{
    for (const wchar_t *v : terminal_vars)
        SetEnvironmentVariableW(v, NULL);
}

std::string terminal_name()
{
    auto t = hl_parse(hl_call("hostlens_terminal"))["terminal"];
    EXPECT_EQ(t["version"], "unknown");
    return t["name"].get<std::string>();
}

int64_t own_process_count()
{
    HANDLE h = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    int64_t n = 0;
    for (BOOL ok = Process32FirstW(h, &e); ok; ok = Process32NextW(h, &e))
        n++;
    CloseHandle(h);
    return n;
}

const wchar_t *const uninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool write_entry(REGSAM view, const wchar_t *name, const wchar_t *display)
{
    std::wstring path = std::wstring(uninstall) + L"\\" + name;
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_WRITE | view, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = ERROR_SUCCESS;
    if (display != NULL)
        rc = RegSetValueExW(key, L"DisplayName", 0, REG_SZ, (const BYTE *)display,
                            (DWORD)((wcslen(display) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void remove_entry(REGSAM view, const wchar_t *name)
{
    std::wstring path = std::wstring(uninstall) + L"\\" + name;
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
}

int64_t packages_total()
{
    auto p = hl_parse(hl_call("hostlens_packages"))["packages"];
    EXPECT_EQ(hl_keys(p), "managers,total");
    int64_t total = p["total"].get<int64_t>();
    EXPECT_EQ(p["managers"], "windows: " + std::to_string(total));
    return total;
}

} // namespace

TEST(WineShell, ComSpecAndCommandProcessorVersion)
{
    wchar_t saved[512] = L"";
    DWORD had = GetEnvironmentVariableW(L"ComSpec", saved, 512);

    SetEnvironmentVariableW(L"ComSpec", L"D:\\tools\\sh.exe");
    auto s = hl_parse(hl_call("hostlens_shell"))["shell"];
    EXPECT_EQ(hl_keys(s), "name,path,version");
    EXPECT_EQ(s["name"], "sh.exe");
    EXPECT_EQ(s["path"], "D:\\tools\\sh.exe");

    SetEnvironmentVariableW(L"ComSpec", L"cmd");
    s = hl_parse(hl_call("hostlens_shell"))["shell"];
    EXPECT_EQ(s["name"], "cmd.exe");
    EXPECT_EQ(s["path"], "cmd");

    SetEnvironmentVariableW(L"ComSpec", NULL);
    s = hl_parse(hl_call("hostlens_shell"))["shell"];
    EXPECT_EQ(s["name"], "cmd.exe");
    EXPECT_EQ(s["path"], "C:\\Windows\\System32\\cmd.exe");

    /* The version comes from a value this test writes in the 64-bit view. */
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Command Processor", 0,
                              NULL, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, NULL, &key, NULL),
              ERROR_SUCCESS);
    wchar_t old[64];
    DWORD old_size = sizeof old, old_type = 0;
    bool had_version =
        RegQueryValueExW(key, L"Version", NULL, &old_type, (BYTE *)old, &old_size) == ERROR_SUCCESS;
    const wchar_t v[] = L"10.0.22621.1";
    ASSERT_EQ(RegSetValueExW(key, L"Version", 0, REG_SZ, (const BYTE *)v, sizeof v), ERROR_SUCCESS);
    EXPECT_EQ(hl_parse(hl_call("hostlens_shell"))["shell"]["version"], "10.0.22621");
    const wchar_t dotted[] = L".5";
    RegSetValueExW(key, L"Version", 0, REG_SZ, (const BYTE *)dotted, sizeof dotted);
    EXPECT_EQ(hl_parse(hl_call("hostlens_shell"))["shell"]["version"], "unknown");
    if (had_version)
        RegSetValueExW(key, L"Version", 0, old_type, (const BYTE *)old, old_size);
    else
        RegDeleteValueW(key, L"Version");
    RegCloseKey(key);

    if (had != 0 && had < 512)
        SetEnvironmentVariableW(L"ComSpec", saved);
}

TEST(WineTerminal, VariablesInOrderOfPrecedence)
{
    clear_terminal_vars();
    EXPECT_EQ(terminal_name(), "unknown");
    SetEnvironmentVariableW(L"TERM", L"xterm-256color");
    EXPECT_EQ(terminal_name(), "xterm");
    SetEnvironmentVariableW(L"ConEmuPID", L"4242");
    EXPECT_EQ(terminal_name(), "ConEmu");
    SetEnvironmentVariableW(L"TERM_PROGRAM", L"vscode");
    EXPECT_EQ(terminal_name(), "vscode");
    SetEnvironmentVariableW(L"WT_SESSION", L"{0b1c}");
    EXPECT_EQ(terminal_name(), "Windows Terminal");
    clear_terminal_vars();
    SetEnvironmentVariableW(L"TERM", L"-x");
    EXPECT_EQ(terminal_name(), "unknown");
    clear_terminal_vars();
    EXPECT_EQ(hl_call("hostlens_terminal_font"),
              "{\"terminal_font\":{\"name\":\"unknown\",\"size\":\"unknown\"}}");
}

TEST(WineUser, MatchesTheTestsOwnCalls)
{
    wchar_t user[256], host[256];
    DWORD n = 256;
    ASSERT_TRUE(GetUserNameW(user, &n));
    n = 256;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameDnsHostname, host, &n));

    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, NULL, 0, KEY_WRITE,
                              NULL, &key, NULL),
              ERROR_SUCCESS);
    const wchar_t full[] = L"Test Pers\u00f6n";
    RegSetValueExW(key, L"FullName", 0, REG_SZ, (const BYTE *)full, sizeof full);
    auto u = hl_parse(hl_call("hostlens_user"))["user"];
    EXPECT_EQ(hl_keys(u), "username,host,full_name");
    EXPECT_EQ(u["username"], utf8(user));
    EXPECT_EQ(u["host"], utf8(host));
    EXPECT_EQ(u["full_name"], "Test Pers\xc3\xb6n");
    RegDeleteValueW(key, L"FullName");
    RegCloseKey(key);
    EXPECT_EQ(hl_parse(hl_call("hostlens_user"))["user"]["full_name"], "unknown");
}

TEST(WineLocale, MatchesGetLocaleInfo)
{
    wchar_t name[64];
    ASSERT_GT(GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SNAME, name, 64), 0);
    EXPECT_EQ(hl_call("hostlens_locale"), "{\"locale\":{\"name\":\"" + utf8(name) + "\"}}");
}

TEST(WineProcessCount, WithinTheTestsOwnWalks)
{
    int64_t before = own_process_count();
    auto p = hl_parse(hl_call("hostlens_process_count"))["process_count"];
    int64_t after = own_process_count();
    ASSERT_GT(before, 0);
    int64_t total = p["total"].get<int64_t>();
    /* Processes may start or end between the walks. */
    EXPECT_GE(total, std::min(before, after) - 2);
    EXPECT_LE(total, std::max(before, after) + 2);
}

TEST(WinePackages, CountsEntriesOfBothViews)
{
    int64_t base = packages_total();
    ASSERT_TRUE(write_entry(KEY_WOW64_64KEY, L"hostlens-test-a", L"Alpha"));
    ASSERT_TRUE(write_entry(KEY_WOW64_64KEY, L"hostlens-test-b", L"\u4e2d\u6587"));
    ASSERT_TRUE(write_entry(KEY_WOW64_64KEY, L"hostlens-test-nameless", NULL));
    ASSERT_TRUE(write_entry(KEY_WOW64_64KEY, L"hostlens-test-empty", L""));
    EXPECT_EQ(packages_total(), base + 2);
    ASSERT_TRUE(write_entry(KEY_WOW64_32KEY, L"hostlens-test-c", L"Gamma"));
    ASSERT_TRUE(write_entry(KEY_WOW64_32KEY, L"hostlens-test-d", L"Delta"));
    EXPECT_EQ(packages_total(), base + 4);

    for (const wchar_t *n : {L"hostlens-test-a", L"hostlens-test-b", L"hostlens-test-nameless",
                             L"hostlens-test-empty"})
        remove_entry(KEY_WOW64_64KEY, n);
    for (const wchar_t *n : {L"hostlens-test-c", L"hostlens-test-d"})
        remove_entry(KEY_WOW64_32KEY, n);
    EXPECT_EQ(packages_total(), base);
}

TEST(WineSnapshot, ReducedSectionsOfTheseModules)
{
    auto all = hl_parse(hl_call("hostlens_get_all"));
    EXPECT_EQ(hl_keys(all["user"]), "username,host");
    EXPECT_EQ(hl_keys(all["terminal_font"]), "name");
    EXPECT_EQ(hl_keys(all["public_ip"]), "ip,country,city");
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
}
