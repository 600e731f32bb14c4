/*
 * The real DLL under Wine: every display against the test's own display
 * configuration, monitor names and DPI, with the thread's DPI context as it
 * was; the batteries against its own SetupAPI enumeration; the temperature
 * against its own thermal zone counters; the display adapters against its
 * own enumeration of the present display devices, and the CPU's identity
 * against the cpu document.
 */
#include "wine_common.h"

#include <pdh.h>
#include <setupapi.h>
#include <stdio.h>

#include <vector>

namespace
{

std::string collect(const char *list)
{
    typedef const char *(*collect_fn)(const char *);
    auto f = (collect_fn)(void *)GetProcAddress(hl_dll, "hostlens_collect");
    const char *t = f != NULL ? f(list) : NULL;
    return t != NULL ? std::string(t) : std::string("<NULL>");
}

template <typename F> F user32(const char *name)
{
    return (F)(void *)GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
}

typedef HANDLE(WINAPI *context_fn)(HANDLE);
typedef HANDLE(WINAPI *get_context_fn)(void);
typedef BOOL(WINAPI *equal_fn)(HANDLE, HANDLE);
typedef HRESULT(WINAPI *dpi_fn)(HMONITOR, int, UINT *, UINT *);

/* The monitor's effective DPI at a desktop point, asked per-monitor aware
 * as the library asks; 0 when it cannot be had. */
UINT own_dpi(LONG x, LONG y)
{
    auto set = user32<context_fn>("SetThreadDpiAwarenessContext");
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    auto get = shcore != NULL ? (dpi_fn)(void *)GetProcAddress(shcore, "GetDpiForMonitor") : NULL;
    if (set == NULL || get == NULL)
        return 0;
    HANDLE before = set((HANDLE)-4);
    if (before == NULL)
        before = set((HANDLE)-3); /* Wine 8 knows no V2 */
    if (before == NULL)
        return 0;
    UINT dx = 0, dy = 0;
    HMONITOR m = MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONULL);
    if (m == NULL || get(m, 0, &dx, &dy) != S_OK)
        dx = 0;
    set(before);
    return dx;
}

std::string own_name(const DISPLAYCONFIG_PATH_INFO &p)
{
    DISPLAYCONFIG_TARGET_DEVICE_NAME n;
    ZeroMemory(&n, sizeof n);
    n.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    n.header.size = sizeof n;
    n.header.adapterId = p.targetInfo.adapterId;
    n.header.id = p.targetInfo.id;
    if (DisplayConfigGetDeviceInfo(&n.header) != ERROR_SUCCESS ||
        n.monitorFriendlyDeviceName[0] == 0)
        return "unknown";
    char utf8[256];
    WideCharToMultiByte(CP_UTF8, 0, n.monitorFriendlyDeviceName, -1, utf8, sizeof utf8, NULL, NULL);
    return utf8;
}

} // namespace

TEST(WineDisplays, EveryActivePathAsTheTestSeesIt)
{
    UINT32 np = 0, nm = 0;
    ASSERT_EQ(GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &np, &nm), ERROR_SUCCESS);
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(np);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(nm);
    ASSERT_EQ(QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &np, paths.data(), &nm, modes.data(), NULL),
              ERROR_SUCCESS);
    ASSERT_GE(np, 1u); /* Wine's headless desktop has one */

    auto get_context = user32<get_context_fn>("GetThreadDpiAwarenessContext");
    auto equal = user32<equal_fn>("AreDpiAwarenessContextsEqual");
    HANDLE before = get_context != NULL ? get_context() : NULL;
    auto list = hl_parse(collect("displays"))["displays"];
    if (get_context != NULL && equal != NULL) {
        EXPECT_TRUE(equal(before, get_context())) << "the thread's DPI context was not given back";
    }

    ASSERT_EQ(list.size(), np);
    int primaries = 0;
    nlohmann::ordered_json primary;
    for (UINT32 i = 0; i < np; i++) {
        const DISPLAYCONFIG_PATH_INFO &p = paths[i];
        const auto &d = list[i];
        ASSERT_LT(p.sourceInfo.modeInfoIdx, nm);
        const DISPLAYCONFIG_SOURCE_MODE &s = modes[p.sourceInfo.modeInfoIdx].sourceMode;
        EXPECT_EQ(d["width"], s.width);
        EXPECT_EQ(d["height"], s.height);
        EXPECT_EQ(d["name"], own_name(p));
        const DISPLAYCONFIG_RATIONAL &r = p.targetInfo.refreshRate;
        if (r.Denominator != 0 && r.Numerator != 0) {
            uint64_t centi = ((uint64_t)r.Numerator * 100 + r.Denominator / 2) / r.Denominator;
            EXPECT_EQ(d["refresh_hz"], (double)centi / 100.0);
        }
        EXPECT_EQ(d["rotation"], 90 * ((int)p.targetInfo.rotation - 1));
        EXPECT_TRUE(d["connector"].is_string());
        UINT dpi = own_dpi(s.position.x, s.position.y);
        if (dpi != 0) {
            EXPECT_EQ(d["scale_percent"], (dpi * 100 + 48) / 96);
        } else {
            EXPECT_EQ(d["scale_percent"], "unknown");
        }
        bool at_origin = s.position.x == 0 && s.position.y == 0;
        EXPECT_EQ(d["primary"], at_origin ? 1 : 0);
        if (at_origin) {
            primaries++;
            primary = d;
        }
    }
    /* The primary display is the one the resolution module reads. */
    ASSERT_EQ(primaries, 1);
    auto res = hl_parse(hl_call("hostlens_resolution"))["resolution"];
    EXPECT_EQ(primary["width"], res["width"]);
    EXPECT_EQ(primary["height"], res["height"]);
}

TEST(WineBatteryHealth, OneEntryPerBatteryTheTestsOwnEnumerationFinds)
{
    HMODULE setupapi = LoadLibraryW(L"setupapi.dll");
    ASSERT_NE(setupapi, (HMODULE)NULL);
    auto get =
        (decltype(&SetupDiGetClassDevsW))(void *)GetProcAddress(setupapi, "SetupDiGetClassDevsW");
    auto next = (decltype(&SetupDiEnumDeviceInterfaces))(void *)GetProcAddress(
        setupapi, "SetupDiEnumDeviceInterfaces");
    auto destroy = (decltype(&SetupDiDestroyDeviceInfoList))(void *)GetProcAddress(
        setupapi, "SetupDiDestroyDeviceInfoList");
    ASSERT_TRUE(get != NULL && next != NULL && destroy != NULL);
    const GUID battery = {
        0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};
    HDEVINFO set = get(&battery, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    size_t interfaces = 0;
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVICE_INTERFACE_DATA data;
        data.cbSize = sizeof data;
        while (next(set, NULL, &battery, (DWORD)interfaces, &data))
            interfaces++;
        destroy(set);
    }
    auto list = hl_parse(collect("battery_health"))["battery_health"];
    EXPECT_LE(list.size(), interfaces);
    SYSTEM_POWER_STATUS power;
    ASSERT_TRUE(GetSystemPowerStatus(&power));
    if (power.BatteryFlag == 128) { /* no system battery, as WINE-NOTES says */
        EXPECT_EQ(collect("battery_health"), "{\"battery_health\":[]}");
        EXPECT_EQ(hl_call("hostlens_battery"), "{\"battery\":[]}");
    }
}

TEST(WineCpuTemp, ThermalZonesAsTheTestsOwnCounters)
{
    PDH_HQUERY q = NULL;
    PDH_HCOUNTER c = NULL;
    ASSERT_EQ(PdhOpenQueryW(NULL, 0, &q), ERROR_SUCCESS);
    bool zones = PdhAddEnglishCounterW(q, L"\\Thermal Zone Information(*)\\Temperature", 0, &c) ==
                 ERROR_SUCCESS;
    PdhCloseQuery(q);
    auto t = hl_parse(hl_call("hostlens_cpu_temp"))["cpu_temp"]["celsius"];
    ASSERT_TRUE(t.is_number());
    /* Wine has neither the WMI class nor the counters: no reading. */
    if (!zones) {
        EXPECT_EQ(t, -1.0);
    } else {
        EXPECT_TRUE(t == -1.0 || (t >= 1.0 && t <= 150.0)) << t;
    }
}

static std::string utf8(const WCHAR *w)
{
    char out[1024] = {0};
    WideCharToMultiByte(CP_UTF8, 0, w, -1, out, sizeof out - 1, NULL, NULL);
    return out;
}

TEST(WineDisplayAdapters, ThePresentDevicesOfTheTestsOwnEnumeration)
{
    HMODULE setupapi = LoadLibraryW(L"setupapi.dll");
    ASSERT_NE(setupapi, (HMODULE)NULL);
    auto get =
        (decltype(&SetupDiGetClassDevsW))(void *)GetProcAddress(setupapi, "SetupDiGetClassDevsW");
    auto next =
        (decltype(&SetupDiEnumDeviceInfo))(void *)GetProcAddress(setupapi, "SetupDiEnumDeviceInfo");
    auto id = (decltype(&SetupDiGetDeviceInstanceIdW))(void *)GetProcAddress(
        setupapi, "SetupDiGetDeviceInstanceIdW");
    auto prop = (decltype(&SetupDiGetDeviceRegistryPropertyW))(void *)GetProcAddress(
        setupapi, "SetupDiGetDeviceRegistryPropertyW");
    auto destroy = (decltype(&SetupDiDestroyDeviceInfoList))(void *)GetProcAddress(
        setupapi, "SetupDiDestroyDeviceInfoList");
    ASSERT_TRUE(get != NULL && next != NULL && id != NULL && prop != NULL && destroy != NULL);
    const GUID display = {
        0x4d36e968, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    struct own_t {
        std::string device, name;
    };
    std::vector<own_t> own;
    HDEVINFO set = get(&display, NULL, NULL, DIGCF_PRESENT);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA d;
    d.cbSize = sizeof d;
    for (DWORD i = 0; next(set, i, &d); i++) {
        WCHAR text[512] = {0};
        own_t o;
        if (id(set, &d, text, 511, NULL))
            o.device = utf8(text);
        DWORD type = 0;
        if (prop(set, &d, SPDRP_FRIENDLYNAME, &type, (BYTE *)text, sizeof text - 2, NULL) ||
            prop(set, &d, SPDRP_DEVICEDESC, &type, (BYTE *)text, sizeof text - 2, NULL))
            o.name = utf8(text);
        own.push_back(o);
    }
    destroy(set);
    /* Wine registers its adapter ("Wine Adapter") once a desktop has started. */
    auto list = hl_parse(collect("display_adapters"))["display_adapters"];
    ASSERT_EQ(list.size(), own.size());
    for (size_t i = 0; i < own.size(); i++) {
        EXPECT_EQ(list[i]["device"], own[i].device);
        EXPECT_EQ(list[i]["name"], own[i].name);
        EXPECT_TRUE(list[i]["vram_mb"].is_number() || list[i]["vram_mb"] == "unknown");
    }
}

TEST(WineCpuInfo, TheCpuDocumentWithoutItsUsage)
{
    auto info = hl_parse(collect("cpu_info"))["cpu_info"];
    auto cpu = hl_parse(hl_call("hostlens_cpu"))["cpu"];
    cpu.erase("usage_percent");
    cpu.erase("per_core_percent");
    EXPECT_EQ(info.dump(), cpu.dump());
}
