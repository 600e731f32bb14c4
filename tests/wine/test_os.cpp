/*
 * The real DLL under Wine: the OS, OS release and kernel documents against
 * the registry values this test reads itself and values it writes into its
 * own prefix (and removes again).
 */
#include "wine_common.h"

#include <stdio.h>
#include <string.h>

#include <vector>

namespace
{

const wchar_t *const NT = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

/* A string value of the 64-bit view as UTF-8, or "" when absent. */
std::string read_sz(const wchar_t *name)
{
    wchar_t buf[512];
    DWORD size = sizeof buf - sizeof(wchar_t), type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, NT, 0, KEY_READ | KEY_WOW64_64KEY, &key) != 0)
        return "";
    LONG rc = RegQueryValueExW(key, name, NULL, &type, (BYTE *)buf, &size);
    RegCloseKey(key);
    if (rc != 0 || (type != REG_SZ && type != REG_EXPAND_SZ))
        return "";
    buf[size / sizeof(wchar_t)] = 0;
    char out[1024];
    int n = WideCharToMultiByte(CP_UTF8, 0, buf, -1, out, sizeof out, NULL, NULL);
    return n > 0 ? std::string(out) : std::string();
}

/* Saves a value on construction and puts it back (or deletes it) after. */
struct saved_value {
    const wchar_t *name;
    bool existed;
    DWORD type;
    std::vector<BYTE> data;

    explicit saved_value(const wchar_t *n) : name(n), existed(false), type(0)
    {
        HKEY key;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, NT, 0, KEY_READ | KEY_WOW64_64KEY, &key);
        DWORD size = 0;
        if (RegQueryValueExW(key, name, NULL, &type, NULL, &size) == 0) {
            data.resize(size + 2);
            existed = RegQueryValueExW(key, name, NULL, &type, data.data(), &size) == 0;
            data.resize(size);
        }
        RegCloseKey(key);
    }
    ~saved_value()
    {
        HKEY key;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, NT, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key);
        if (existed)
            RegSetValueExW(key, name, 0, type, data.data(), (DWORD)data.size());
        else
            RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
};

void write(const wchar_t *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, NT, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key), 0);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, (const BYTE *)data, size), 0);
    RegCloseKey(key);
}

void write_sz(const wchar_t *name, const wchar_t *text)
{
    write(name, REG_SZ, text, (DWORD)((wcslen(text) + 1) * sizeof(wchar_t)));
}

/* A DWORD value of the 64-bit view, or -1 when absent or of another type. */
long long read_dword(const wchar_t *name)
{
    DWORD v = 0, size = sizeof v;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, NT, name, RRF_RT_REG_DWORD, NULL, &v, &size) !=
        ERROR_SUCCESS)
        return -1;
    return v;
}

/* Seconds since 1970 in the document's UTC form, by the test's own
 * conversion. */
std::string utc(unsigned long long seconds)
{
    ULARGE_INTEGER t;
    t.QuadPart = (seconds + 11644473600ull) * 10000000ull;
    FILETIME ft = {t.LowPart, t.HighPart};
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st))
        return "?";
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay,
             st.wHour, st.wMinute, st.wSecond);
    return text;
}

typedef LONG(WINAPI *rtl_get_version_fn)(OSVERSIONINFOW *);

OSVERSIONINFOW rtl_version()
{
    OSVERSIONINFOW vi;
    ZeroMemory(&vi, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi;
    rtl_get_version_fn f =
        (rtl_get_version_fn)(void *)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    if (f != NULL)
        f(&vi);
    return vi;
}

} // namespace

TEST(WineKernel, MatchesTheRegistry)
{
    std::string version = read_sz(L"CurrentVersion");
    std::string build = read_sz(L"CurrentBuildNumber");
    ASSERT_FALSE(version.empty());
    ASSERT_FALSE(build.empty());
    EXPECT_EQ(hl_call("hostlens_kernel"),
              "{\"kernel\":{\"name\":\"Windows NT\",\"release\":\"" + version + "." + build +
                  "\",\"version\":\"" + version +
                  "\",\"architecture\":\"x64\",\"codename\":\"unknown\"}}");
}

TEST(WineKernel, FollowsValuesWrittenIntoThePrefix)
{
    saved_value v(L"CurrentVersion"), b(L"CurrentBuildNumber");
    write_sz(L"CurrentVersion", L"6.3");
    write_sz(L"CurrentBuildNumber", L"22631");
    auto k = hl_parse(hl_call("hostlens_kernel"))["kernel"];
    EXPECT_EQ(k["release"], "6.3.22631");
    EXPECT_EQ(k["version"], "6.3");
    /* A DWORD is not a string: the build counts as missing. */
    DWORD n = 22631;
    write(L"CurrentBuildNumber", REG_DWORD, &n, sizeof n);
    k = hl_parse(hl_call("hostlens_kernel"))["kernel"];
    EXPECT_EQ(k["release"], "unknown");
    EXPECT_EQ(k["version"], "6.3");
}

TEST(WineOs, MatchesTheVersionQueryAndTheRegistry)
{
    OSVERSIONINFOW vi = rtl_version();
    std::string version =
        std::to_string(vi.dwMajorVersion) + "." + std::to_string(vi.dwMinorVersion);
    std::string build = std::to_string(vi.dwBuildNumber);
    std::string product = read_sz(L"ProductName");
    std::string label = read_sz(L"DisplayVersion");
    if (label.empty())
        label = read_sz(L"CSDVersion");
    if (label.empty())
        label = read_sz(L"ReleaseId");
    std::string lab = read_sz(L"BuildLabEx");
    std::string pid = read_sz(L"ProductId");
    auto os = hl_parse(hl_call("hostlens_os"))["os"];
    EXPECT_EQ(hl_keys(os), "type,name,version,codename,build_id,id,pretty_name,kernel_release,"
                           "kernel_version,host_id,install_date");
    EXPECT_EQ(os["type"], "Windows");
    EXPECT_EQ(os["version"], version);
    EXPECT_EQ(os["build_id"], build);
    EXPECT_EQ(os["name"], product.empty() ? "Windows" : product);
    EXPECT_EQ(os["codename"], label.empty() ? "unknown" : label);
    if (!product.empty()) {
        EXPECT_EQ(os["pretty_name"],
                  product + " " + version + (label.empty() ? "" : " (" + label + ")"));
    }
    EXPECT_EQ(os["id"], "microsoft_64");
    EXPECT_EQ(os["kernel_release"], lab.empty() ? version + "." + build : lab.substr(0, 63));
    EXPECT_EQ(os["kernel_version"], os["kernel_release"]);
    EXPECT_EQ(os["host_id"], pid.empty() ? "unknown" : pid);
    /* Wine, like Windows, keeps "InstallDate" and no "InstallationDate". */
    long long installed = read_dword(L"InstallDate");
    ASSERT_GT(installed, 0) << "the prefix has an InstallDate";
    EXPECT_EQ(os["install_date"], utc((unsigned long long)installed));
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
}

TEST(WineOs, FollowsValuesWrittenIntoThePrefix)
{
    saved_value p(L"ProductName"), d(L"DisplayVersion"), lab(L"BuildLabEx"), pid(L"ProductId"),
        date(L"InstallationDate");
    OSVERSIONINFOW vi = rtl_version();
    std::string version =
        std::to_string(vi.dwMajorVersion) + "." + std::to_string(vi.dwMinorVersion);
    write_sz(L"ProductName", L"Windows 10 Pro");
    write_sz(L"DisplayVersion", L"22H2");
    write_sz(L"BuildLabEx", L"19041.1.amd64fre.vb_release.191206-1406");
    write_sz(L"ProductId", L"00330-80000-00000-AA123");
    const BYTE stamp[] = {0x00, 0x10, 0x5E, 0x5F};
    write(L"InstallationDate", REG_BINARY, stamp, sizeof stamp);
    auto os = hl_parse(hl_call("hostlens_os"))["os"];
    /* Wine's builds are far below 22000: the product name stays. */
    EXPECT_EQ(os["name"], "Windows 10 Pro");
    EXPECT_EQ(os["codename"], "22H2");
    EXPECT_EQ(os["pretty_name"], "Windows 10 Pro " + version + " (22H2)");
    EXPECT_EQ(os["kernel_release"], "19041.1.amd64fre.vb_release.191206-1406");
    EXPECT_EQ(os["host_id"], "00330-80000-00000-AA123");
    EXPECT_EQ(os["install_date"], "2020-09-13T12:26:40Z");

    /* The same bytes as a DWORD are refused, and the prefix's "InstallDate"
     * answers; an empty product name is refused too. */
    DWORD n = 0x5F5E1000;
    write(L"InstallationDate", REG_DWORD, &n, sizeof n);
    write_sz(L"ProductName", L"");
    os = hl_parse(hl_call("hostlens_os"))["os"];
    EXPECT_EQ(os["install_date"], utc((unsigned long long)read_dword(L"InstallDate")));
    EXPECT_EQ(os["name"], "Windows");
    EXPECT_EQ(os["pretty_name"], "Windows " + std::to_string(vi.dwBuildNumber));
}

TEST(WineOs, SnapshotSectionsMatchTheDocuments)
{
    auto all = hl_parse(hl_call("hostlens_get_all"));
    EXPECT_EQ(all.begin().key(), "os");
    EXPECT_EQ(all["os"], hl_parse(hl_call("hostlens_os"))["os"]);
    EXPECT_EQ(all["kernel"], hl_parse(hl_call("hostlens_kernel"))["kernel"]);
}

TEST(WineOsRelease, FollowsValuesWrittenIntoThePrefix)
{
    saved_value p(L"ProductName"), d(L"DisplayVersion"), r(L"ReleaseId"), b(L"CurrentBuildNumber"),
        u(L"UBR"), e(L"EditionID"), t(L"InstallationType");
    write_sz(L"ProductName", L"Windows 10 Pro");
    write_sz(L"DisplayVersion", L"23H2");
    write_sz(L"CurrentBuildNumber", L"22631");
    DWORD ubr = 2861;
    write(L"UBR", REG_DWORD, &ubr, sizeof ubr);
    write_sz(L"EditionID", L"Professional");
    write_sz(L"InstallationType", L"Client");
    EXPECT_EQ(hl_call_collect("os_release"),
              "{\"os_release\":{\"product\":\"Windows 11 Pro\",\"display_version\":\"23H2\","
              "\"build\":22631,\"ubr\":2861,\"full_build\":\"22631.2861\","
              "\"edition\":\"Professional\",\"installation_type\":\"Client\"}}");

    /* An older release: "ReleaseId" and no revision. */
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, NT, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key), 0);
    RegDeleteValueW(key, L"DisplayVersion");
    RegDeleteValueW(key, L"UBR");
    RegCloseKey(key);
    write_sz(L"ReleaseId", L"1809");
    write_sz(L"CurrentBuildNumber", L"17763");
    auto rel = hl_parse(hl_call_collect("os_release"))["os_release"];
    EXPECT_EQ(rel["product"], "Windows 10 Pro");
    EXPECT_EQ(rel["display_version"], "1809");
    EXPECT_EQ(rel["ubr"], "unknown");
    EXPECT_EQ(rel["full_build"], "17763");
}

TEST(WineOsRelease, ThePrefixAsItIs)
{
    std::string build = read_sz(L"CurrentBuildNumber");
    std::string edition = read_sz(L"EditionID");
    auto rel = hl_parse(hl_call_collect("os_release"))["os_release"];
    EXPECT_EQ(hl_keys(rel),
              "product,display_version,build,ubr,full_build,edition,installation_type");
    EXPECT_EQ(rel["build"], std::stoll(build));
    long long ubr = read_dword(L"UBR");
    EXPECT_EQ(rel["full_build"], ubr < 0 ? build : build + "." + std::to_string(ubr));
    EXPECT_EQ(rel["edition"], edition.empty() ? "unknown" : edition);
}

namespace
{

/* A "Source OS" key under SYSTEM\\Setup with its InstallDate; deleted again
 * at the end of the test. */
struct source_os_key {
    std::wstring path;
    source_os_key(const wchar_t *name, DWORD date) : path(L"SYSTEM\\Setup\\")
    {
        path += name;
        HKEY key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0,
                            KEY_SET_VALUE | KEY_WOW64_64KEY, NULL, &key, NULL) == 0) {
            RegSetValueExW(key, L"InstallDate", 0, REG_DWORD, (const BYTE *)&date, sizeof date);
            RegCloseKey(key);
        }
    }
    ~source_os_key()
    {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
    }
};

} // namespace

TEST(WineOs, InstallDateOfTheInstallationAFeatureUpdateReplaced)
{
    long long current = read_dword(L"InstallDate");
    ASSERT_GT(current, 0x10000000);
    {
        /* An older installation and a later one: the older counts. */
        source_os_key older(L"Source OS (Updated on 5/8/2010 06:15:54)",
                            (DWORD)(current - 86400 * 365));
        source_os_key later(L"Source OS (Updated on 1/1/2030 00:00:00)", (DWORD)(current + 86400));
        EXPECT_EQ(hl_parse(hl_call("hostlens_os"))["os"]["install_date"],
                  utc((unsigned long long)(current - 86400 * 365)));
    }
    /* The keys are gone: CurrentVersion's date again. */
    EXPECT_EQ(hl_parse(hl_call("hostlens_os"))["os"]["install_date"],
              utc((unsigned long long)current));
}
