/*
 * The real DLL under Wine: CPU, hypervisor, uptime, boot time, disks and the
 * host board against the test's own Win32 calls and registry reads, its own
 * reading of Linux's /proc/cpuinfo and of the SMBIOS table.
 */
#include "wine_common.h"

#include <intrin.h>
#include <pdh.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <vector>

namespace
{

const wchar_t *const CPU_KEY = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

/* Records of one relationship, counted by the test itself. */
int64_t own_count(LOGICAL_PROCESSOR_RELATIONSHIP rel)
{
    DWORD len = 0;
    GetLogicalProcessorInformationEx(rel, NULL, &len);
    if (len == 0)
        return 0;
    std::vector<BYTE> buf(len);
    if (!GetLogicalProcessorInformationEx(rel, (PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX)buf.data(),
                                          &len))
        return 0;
    int64_t n = 0;
    for (DWORD off = 0; off + 8 <= len;) {
        auto *r = (PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX)(buf.data() + off);
        if (r->Size < 8)
            break;
        if (r->Relationship == rel)
            n++;
        off += r->Size;
    }
    return n;
}

/* "YYYY-MM-DDTHH:MM:SSZ" as 100 ns units since 1601. */
bool iso_to_filetime(const std::string &iso, uint64_t *out)
{
    SYSTEMTIME st;
    ZeroMemory(&st, sizeof st);
    int y, mo, d, h, mi, s;
    char z = 0;
    if (sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &z) != 7 ||
        z != 'Z')
        return false;
    st.wYear = (WORD)y;
    st.wMonth = (WORD)mo;
    st.wDay = (WORD)d;
    st.wHour = (WORD)h;
    st.wMinute = (WORD)mi;
    st.wSecond = (WORD)s;
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return false;
    *out = ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
    return true;
}

uint64_t now_filetime()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

std::string utf8(const wchar_t *w)
{
    char buf[512];
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, sizeof buf, NULL, NULL);
    return n > 0 ? std::string(buf) : std::string();
}

/* The first processor's entries of Linux's /proc/cpuinfo, read through
 * Wine's Z: drive: "cpu family" -> "25", "flags" -> "fpu vme ...". */
std::map<std::string, std::string> proc_cpuinfo()
{
    std::map<std::string, std::string> out;
    FILE *f = fopen("Z:\\proc\\cpuinfo", "r");
    if (f == NULL)
        return out;
    char line[8192];
    while (fgets(line, sizeof line, f) != NULL) {
        std::string l(line);
        l.erase(l.find_last_not_of("\r\n") + 1);
        if (l.empty())
            break; /* the end of the first processor's entries */
        size_t colon = l.find(':');
        if (colon == std::string::npos)
            continue;
        std::string key = l.substr(0, colon);
        key.erase(key.find_last_not_of(" \t") + 1);
        std::string value = colon + 1 < l.size() ? l.substr(colon + 1) : "";
        value.erase(0, value.find_first_not_of(" \t"));
        out[key] = value;
    }
    fclose(f);
    return out;
}

} // namespace

TEST(WineCpu, IdentityMatchesProcCpuinfo)
{
    std::map<std::string, std::string> info = proc_cpuinfo();
    ASSERT_TRUE(info.count("cpu family")) << "Z:\\proc\\cpuinfo is not readable";
    auto c = hl_parse(hl_call("hostlens_cpu"))["cpu"];
    EXPECT_EQ(c["family"], std::stoll(info["cpu family"]));
    EXPECT_EQ(c["model_number"], std::stoll(info["model"]));
    EXPECT_EQ(c["stepping"], std::stoll(info["stepping"]));
    /* The base of every x86-64 processor at least (fpu, tsc, cx8, cmov, mmx,
     * fxsr, sse, sse2, syscall, nx, lm), and no more than the table names. */
    ASSERT_TRUE(c["flags_count"].is_number()) << c.dump();
    EXPECT_GE(c["flags_count"].get<int64_t>(), 11);
    EXPECT_LE(c["flags_count"].get<int64_t>(), 175);
    EXPECT_EQ(c["logical_cores"].get<int64_t>(),
              (int64_t)GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
}

TEST(WineHypervisor, TheVirtualMachineThisRunsIn)
{
    std::map<std::string, std::string> info = proc_cpuinfo();
    ASSERT_TRUE(info.count("flags"));
    bool flagged = (" " + info["flags"] + " ").find(" hypervisor ") != std::string::npos;
    auto h = hl_parse(hl_call_collect("hypervisor"))["hypervisor"];
    EXPECT_EQ(hl_keys(h), "present,vendor,name,guest");
    EXPECT_EQ(h["present"], flagged ? 1 : 0);
    if (!flagged)
        return;
    /* The signature as the test's own CPUID reads it. */
    int r[4];
    __cpuid(r, 0x40000000);
    char signature[13] = {0};
    memcpy(signature, &r[1], 4);
    memcpy(signature + 4, &r[2], 4);
    memcpy(signature + 8, &r[3], 4);
    std::string own(signature);
    own.erase(own.find_last_not_of(' ') + 1);
    EXPECT_EQ(h["vendor"], own);
    if (own == "KVMKVMKVM") {
        EXPECT_EQ(h["name"], "KVM");
        EXPECT_EQ(h["guest"], 1);
    }
}

TEST(WineCpu, MatchesTheTestsOwnQueries)
{
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    auto c = hl_parse(hl_call("hostlens_cpu"))["cpu"];
    EXPECT_EQ(hl_keys(c), "model,physical_id,family,model_number,stepping,flags_count,sockets,"
                          "physical_cores,logical_cores,speed_min_mhz,speed_max_mhz,"
                          "speed_avg_mhz,usage_percent,per_core_percent");
    EXPECT_EQ(c["logical_cores"].get<int64_t>(), (int64_t)si.dwNumberOfProcessors);
    int64_t cores = own_count(RelationProcessorCore);
    EXPECT_EQ(c["physical_cores"].get<int64_t>(),
              cores > 0 ? cores : (int64_t)si.dwNumberOfProcessors);
    int64_t packages = own_count(RelationProcessorPackage);
    EXPECT_EQ(c["sockets"].get<int64_t>(), packages > 0 ? packages : 1);

    wchar_t name[256];
    DWORD size = sizeof name;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, CPU_KEY, L"ProcessorNameString", RRF_RT_REG_SZ, NULL,
                           name, &size),
              ERROR_SUCCESS);
    std::string model = utf8(name);
    model.erase(0, model.find_first_not_of(" \t"));
    model.erase(model.find_last_not_of(" \t\r\n") + 1);
    EXPECT_EQ(c["model"], model.empty() ? "unknown" : model);
    if (model.find('@') == std::string::npos) {
        /* Wine's name states no speed: "~MHz" gives it. */
        DWORD mhz = 0, mhz_size = sizeof mhz;
        ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, CPU_KEY, L"~MHz", RRF_RT_REG_DWORD, NULL, &mhz,
                               &mhz_size),
                  ERROR_SUCCESS);
        ASSERT_GT(mhz, 0u);
        EXPECT_EQ(c["speed_max_mhz"].get<int64_t>(), (int64_t)mhz);
        EXPECT_EQ(c["speed_avg_mhz"].get<double>(), (double)mhz);
        EXPECT_EQ(c["speed_min_mhz"].get<int64_t>(), (int64_t)mhz * 8 / 10);
    }

    ASSERT_TRUE(c["usage_percent"].is_number()) << c.dump();
    double usage = c["usage_percent"].get<double>();
    EXPECT_GE(usage, 0.0);
    EXPECT_LE(usage, 100.0);
    EXPECT_EQ(c["physical_id"], "0");
}

TEST(WineCpu, PerProcessorCountersFollowWhatPdhOffers)
{
    /* Wine 8 has no "Processor Information" object, so the per-processor
     * values are empty there; the collection path itself is proven against
     * the substitute platform. Checked against the test's own PDH query so
     * that a Wine that gains the object makes this expect values. */
    PDH_HQUERY q = NULL;
    ASSERT_EQ(PdhOpenQueryW(NULL, 0, &q), ERROR_SUCCESS);
    PDH_HCOUNTER counter = NULL;
    PDH_STATUS s = PdhAddEnglishCounterW(q, L"\\\\.\\Processor Information(0,0)\\% Processor Time",
                                         0, &counter);
    PdhCloseQuery(q);
    auto per_core = hl_parse(hl_call("hostlens_cpu"))["cpu"]["per_core_percent"];
    ASSERT_TRUE(per_core.is_array());
    if (s != ERROR_SUCCESS)
        EXPECT_EQ(per_core.size(), 0u) << "PDH status " << std::hex << s;
    else
        EXPECT_GT(per_core.size(), 0u);
}

TEST(WineUptime, AgreesWithTheTestsOwnClock)
{
    uint64_t before = GetTickCount64();
    auto u = hl_parse(hl_call("hostlens_uptime"))["uptime"];
    uint64_t after = GetTickCount64();
    uint64_t now = now_filetime();
    EXPECT_EQ(hl_keys(u), "total_seconds,formatted,boot_time_iso,last_boot");
    int64_t secs = u["total_seconds"].get<int64_t>();
    EXPECT_GE(secs, (int64_t)(before / 1000) - 2);
    EXPECT_LE(secs, (int64_t)(after / 1000) + 2);
    EXPECT_EQ(u["last_boot"], u["formatted"]);

    /* The boot instant is the test's own now minus its own tick count. */
    uint64_t boot = 0;
    ASSERT_TRUE(iso_to_filetime(u["boot_time_iso"].get<std::string>(), &boot))
        << u["boot_time_iso"];
    int64_t own_boot = (int64_t)(now - after * 10000);
    int64_t diff = (int64_t)boot - own_boot;
    EXPECT_LE(diff < 0 ? -diff : diff, INT64_C(30000000)) << u["boot_time_iso"];

    auto b = hl_parse(hl_call("hostlens_boot_time"))["boot_time"];
    EXPECT_EQ(hl_keys(b), "iso,formatted");
    uint64_t boot2 = 0;
    ASSERT_TRUE(iso_to_filetime(b["iso"].get<std::string>(), &boot2));
    diff = (int64_t)boot2 - (int64_t)boot;
    EXPECT_LE(diff < 0 ? -diff : diff, INT64_C(20000000));
}

TEST(WineDisk, FixedDrivesMatchTheTestsOwnQueries)
{
    auto list = hl_parse(hl_call("hostlens_disk"))["disk"];
    ASSERT_TRUE(list.is_array());
    std::vector<std::string> fixed;
    wchar_t roots[512] = {0};
    GetLogicalDriveStringsW(511, roots);
    for (wchar_t *r = roots; *r; r += wcslen(r) + 1)
        if (GetDriveTypeW(r) == DRIVE_FIXED)
            fixed.push_back(utf8(r));
    ASSERT_EQ(list.size(), fixed.size());
    bool saw_c = false;
    for (size_t i = 0; i < list.size(); i++) {
        auto &d = list[i];
        EXPECT_EQ(hl_keys(d), "device,mount_point,label,filesystem,size_gb,used_gb,percent");
        EXPECT_EQ(d["device"], fixed[i]);
        EXPECT_EQ(d["mount_point"], fixed[i]);
        if (fixed[i] != "C:\\")
            continue;
        saw_c = true;
        wchar_t label[256] = {0}, fs[64] = {0};
        GetVolumeInformationW(L"C:\\", label, 256, NULL, NULL, NULL, fs, 64);
        EXPECT_EQ(d["filesystem"], fs[0] ? utf8(fs) : "unknown");
        EXPECT_EQ(d["label"], label[0] ? utf8(label) : "unknown");
        ULARGE_INTEGER caller, total, free_bytes;
        ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &caller, &total, &free_bytes));
        /* The size is fixed; the document shows it with one decimal. */
        EXPECT_NEAR(d["size_gb"].get<double>(), (double)total.QuadPart / 1073741824.0, 0.051);
        double pct = d["percent"].get<double>();
        EXPECT_GE(pct, 0.0);
        EXPECT_LE(pct, 100.0);
    }
    EXPECT_TRUE(saw_c);
}

namespace
{

/* The test's own reading of the raw SMBIOS data: string `n` of a
 * structure's set, or "unknown". */
std::string own_string(const BYTE *s, const BYTE *end, BYTE n)
{
    if (n == 0)
        return "unknown";
    const BYTE *p = s + s[1];
    for (BYTE i = 1; p < end && *p; i++) {
        std::string str;
        while (p < end && *p)
            str += (char)*p++;
        if (p >= end)
            return "unknown";
        if (i == n)
            return str;
        p++;
    }
    return "unknown";
}

} // namespace

TEST(WineHost, MatchesTheTestsOwnFirmwareTable)
{
    UINT size = GetSystemFirmwareTable(0x52534D42, 0, NULL, 0);
    std::vector<BYTE> raw(size);
    std::map<std::string, std::string> want;
    const char *keys[] = {"manufacturer", "model",        "version",     "sku",
                          "family",       "chassis_type", "bios_vendor", "bios_version",
                          "bios_date",    "board_vendor", "board_model"};
    for (const char *k : keys)
        want[k] = "unknown";
    if (size >= 16 && GetSystemFirmwareTable(0x52534D42, 0, raw.data(), size) == size) {
        DWORD len = *(DWORD *)(raw.data() + 4);
        ASSERT_LE(8 + len, size);
        const BYTE *s = raw.data() + 8, *end = s + len;
        while (end - s >= 4 && s[1] >= 4 && s[1] <= end - s) {
            BYTE t = s[0], l = s[1];
            auto str = [&](BYTE off, const char *key) {
                if (off < l)
                    want[key] = own_string(s, end, s[off]);
            };
            if (t == 0) {
                str(4, "bios_vendor");
                str(5, "bios_version");
                str(8, "bios_date");
            } else if (t == 1) {
                str(4, "manufacturer");
                str(5, "model");
                str(6, "version");
                str(0x1A, "family");
            } else if (t == 2) {
                str(4, "board_vendor");
                str(5, "board_model");
            } else if (t == 3 && l > 5) {
                want["chassis_type"] = std::to_string(s[5]);
            }
            const BYTE *p = s + l;
            while (end - p >= 2 && (p[0] || p[1]))
                p++;
            if (end - p < 2)
                break;
            s = p + 2;
        }
    }
    auto h = hl_parse(hl_call("hostlens_host"))["host"];
    EXPECT_EQ(hl_keys(h), "manufacturer,model,version,sku,family,chassis_type,bios_vendor,"
                          "bios_version,bios_date,board_vendor,board_model");
    /* Field sizes less the terminator: longer firmware strings are cut. */
    size_t limits[] = {127, 255, 127, 127, 127, 63, 127, 63, 31, 127, 127};
    for (size_t i = 0; i < 11; i++)
        EXPECT_EQ(h[keys[i]],
                  want[keys[i]].empty() ? "unknown" : want[keys[i]].substr(0, limits[i]))
            << keys[i];
    EXPECT_GT(size, 0u) << "Wine synthesizes a table";
}

TEST(WineSnapshot, CarriesTheHardwareSections)
{
    auto all = hl_parse(hl_call("hostlens_get_all"));
    EXPECT_EQ(hl_keys(all["uptime"]), "total_seconds,formatted,boot_time_iso");
    EXPECT_EQ(hl_keys(all["boot_time"]), "iso");
    EXPECT_EQ(all["boot_time"]["iso"], all["uptime"]["boot_time_iso"]);
    EXPECT_EQ(all["host"], hl_parse(hl_call("hostlens_host"))["host"]);
    EXPECT_EQ(all["disk"].size(), hl_parse(hl_call("hostlens_disk"))["disk"].size());
    EXPECT_EQ(all["cpu"]["logical_cores"],
              hl_parse(hl_call("hostlens_cpu"))["cpu"]["logical_cores"]);
}
