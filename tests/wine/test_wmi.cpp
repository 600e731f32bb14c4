/*
 * The real DLL under Wine: the WMI modules against the test's own WMI query,
 * the adapter memory against class and device keys the test writes, the same answers
 * on a second thread, and Wine's missing classes.
 */
#include "wine_common.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <thread>
#include <vector>

namespace
{

const GUID clsid_locator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID iid_locator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

struct controller {
    std::string name, driver;
    long long ram;       /* -1 when absent */
    std::wstring device; /* PNPDeviceID */
};

std::string utf8(const wchar_t *w)
{
    char out[512];
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, out, sizeof out, NULL, NULL);
    return n > 0 ? std::string(out) : std::string();
}

/* Win32_VideoController as this test reads it itself. */
std::vector<controller> video_controllers()
{
    std::vector<controller> list;
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    IWbemLocator *locator = NULL;
    if (FAILED(CoCreateInstance(clsid_locator, NULL, CLSCTX_INPROC_SERVER, iid_locator,
                                (void **)&locator)))
        return list;
    IWbemServices *services = NULL;
    BSTR ns = SysAllocString(L"root\\cimv2");
    BSTR wql = SysAllocString(L"WQL");
    BSTR q = SysAllocString(L"SELECT * FROM Win32_VideoController");
    if (SUCCEEDED(locator->ConnectServer(ns, NULL, NULL, NULL, 0, NULL, NULL, &services))) {
        IEnumWbemClassObject *e = NULL;
        if (SUCCEEDED(services->ExecQuery(wql, q, WBEM_FLAG_FORWARD_ONLY, NULL, &e))) {
            IWbemClassObject *row = NULL;
            ULONG got = 0;
            while (e->Next(5000, 1, &row, &got) == S_OK && got == 1) {
                controller c{"", "", -1, L""};
                VARIANT v;
                VariantInit(&v);
                if (SUCCEEDED(row->Get(L"Name", 0, &v, NULL, NULL)) && v.vt == VT_BSTR)
                    c.name = utf8(v.bstrVal);
                VariantClear(&v);
                if (SUCCEEDED(row->Get(L"DriverVersion", 0, &v, NULL, NULL)) && v.vt == VT_BSTR)
                    c.driver = utf8(v.bstrVal);
                VariantClear(&v);
                if (SUCCEEDED(row->Get(L"AdapterRAM", 0, &v, NULL, NULL)) && v.vt == VT_I4)
                    c.ram = (long long)(unsigned long)v.lVal;
                VariantClear(&v);
                if (SUCCEEDED(row->Get(L"PNPDeviceID", 0, &v, NULL, NULL)) && v.vt == VT_BSTR)
                    c.device = v.bstrVal;
                VariantClear(&v);
                row->Release();
                list.push_back(c);
            }
            e->Release();
        }
        services->Release();
    }
    SysFreeString(q);
    SysFreeString(wql);
    SysFreeString(ns);
    locator->Release();
    return list;
}

std::string call_on_new_thread(const char *name)
{
    std::string text;
    std::thread t([&] { text = hl_call(name); });
    t.join();
    return text;
}

} // namespace

TEST(WineWmi, GpuListIsWhatWmiReports)
{
    std::vector<controller> own;
    std::thread t([&] { own = video_controllers(); });
    t.join();
    ASSERT_FALSE(own.empty()) << "Wine's WMI has a Win32_VideoController";
    auto gpus = hl_parse(hl_call("hostlens_gpu"))["gpu"];
    ASSERT_EQ(gpus.size(), std::min<size_t>(own.size(), 8));
    DISPLAY_DEVICEW dd;
    int attached = 0;
    for (DWORD i = 0;; i++) {
        ZeroMemory(&dd, sizeof dd);
        dd.cb = sizeof dd;
        if (!EnumDisplayDevicesW(NULL, i, &dd, 0))
            break;
        if (dd.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)
            attached++;
    }
    for (size_t i = 0; i < gpus.size(); i++) {
        EXPECT_EQ(hl_keys(gpus[i]), "vendor,model,vram_mb,driver_version,output_count");
        EXPECT_EQ(gpus[i]["model"], own[i].name);
        EXPECT_EQ(gpus[i]["driver_version"], own[i].driver);
        if (own[i].ram > 0) {
            EXPECT_EQ(gpus[i]["vram_mb"], own[i].ram >> 20);
        }
        EXPECT_EQ(gpus[i]["output_count"], attached);
    }
    /* What Wine 8 is known to report. */
    EXPECT_EQ(gpus[0]["model"], "VideoController1");
    EXPECT_EQ(gpus[0]["vram_mb"], 512);
    EXPECT_EQ(gpus[0]["vendor"], "unknown");
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
}

namespace
{

const wchar_t *const DISPLAY_CLASS =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";

/* An instance key of the display class this test creates, removed again
 * however the test ends. */
struct own_instance_key {
    HKEY key = NULL;
    std::wstring path;
    explicit own_instance_key(const wchar_t *name)
        : path(std::wstring(DISPLAY_CLASS) + L"\\" + name)
    {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL);
    }
    ~own_instance_key()
    {
        RegCloseKey(key);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
    }
};

} // namespace

TEST(WineWmi, GpuMemoryFollowsTheDriversFigure)
{
    std::vector<controller> own;
    std::thread t([&] { own = video_controllers(); });
    t.join();
    ASSERT_FALSE(own.empty());
    long long wmi_mb = own[0].ram > 0 ? own[0].ram >> 20 : -1;
    {
        own_instance_key k(L"0099");
        ASSERT_NE(k.key, (HKEY)NULL);
        /* WMI's name, not the prefix's "Wine Adapter", ties the key to the
         * adapter. */
        wchar_t name[256];
        MultiByteToWideChar(CP_UTF8, 0, own[0].name.c_str(), -1, name, 256);
        RegSetValueExW(k.key, L"DriverDesc", 0, REG_SZ, (const BYTE *)name,
                       (DWORD)((wcslen(name) + 1) * sizeof(wchar_t)));
        unsigned long long eight = 8ull << 30;
        RegSetValueExW(k.key, L"HardwareInformation.qwMemorySize", 0, REG_QWORD,
                       (const BYTE *)&eight, sizeof eight);
        EXPECT_EQ(hl_parse(hl_call("hostlens_gpu"))["gpu"][0]["vram_mb"], 8192);
    }
    HKEY gone;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(DISPLAY_CLASS) + L"\\0099").c_str(),
                            0, KEY_READ, &gone),
              0);
    EXPECT_EQ(hl_parse(hl_call("hostlens_gpu"))["gpu"][0]["vram_mb"], wmi_mb);
}

/* The adapter's own driver instance wins over an older key of the same
 * name: the test gives Wine's adapter the device key it lacks, naming 0098,
 * beside a stale 0097 that matches by name. */
TEST(WineWmi, GpuMemoryFromTheAdaptersOwnDriverInstance)
{
    std::vector<controller> own;
    std::thread t([&] { own = video_controllers(); });
    t.join();
    ASSERT_FALSE(own.empty());
    ASSERT_FALSE(own[0].device.empty()) << "Wine's adapter has a PNPDeviceID";
    /* Wine's own device key for its adapter has another instance name than
     * the PNPDeviceID its WMI reports, so the test makes the one WMI names. */
    const std::wstring device_key = L"SYSTEM\\CurrentControlSet\\Enum\\" + own[0].device;
    HKEY probe;
    bool had_key = RegOpenKeyExW(HKEY_LOCAL_MACHINE, device_key.c_str(), 0, KEY_READ, &probe) == 0;
    if (had_key)
        RegCloseKey(probe);
    ASSERT_FALSE(had_key) << "the prefix already has the adapter's device key";
    {
        own_instance_key stale(L"0097"), mine(L"0098");
        wchar_t name[256];
        MultiByteToWideChar(CP_UTF8, 0, own[0].name.c_str(), -1, name, 256);
        RegSetValueExW(stale.key, L"DriverDesc", 0, REG_SZ, (const BYTE *)name,
                       (DWORD)((wcslen(name) + 1) * sizeof(wchar_t)));
        unsigned long long eight = 8ull << 30, twelve = 12ull << 30;
        RegSetValueExW(stale.key, L"HardwareInformation.qwMemorySize", 0, REG_QWORD,
                       (const BYTE *)&eight, sizeof eight);
        RegSetValueExW(mine.key, L"HardwareInformation.qwMemorySize", 0, REG_QWORD,
                       (const BYTE *)&twelve, sizeof twelve);
        HKEY device = NULL;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, device_key.c_str(), 0, NULL, 0,
                                  KEY_ALL_ACCESS, NULL, &device, NULL),
                  0);
        const wchar_t driver[] = L"{4d36e968-e325-11ce-bfc1-08002be10318}\\0098";
        RegSetValueExW(device, L"Driver", 0, REG_SZ, (const BYTE *)driver, sizeof driver);
        RegCloseKey(device);
        EXPECT_EQ(hl_parse(hl_call("hostlens_gpu"))["gpu"][0]["vram_mb"], 12288);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, device_key.c_str());
        /* Without the device key, the name finds the stale instance. */
        EXPECT_EQ(hl_parse(hl_call("hostlens_gpu"))["gpu"][0]["vram_mb"], 8192);
    }
}

TEST(WineWmi, SecondThreadGetsTheSameAnswer)
{
    std::string first = hl_call("hostlens_gpu");
    std::string second = call_on_new_thread("hostlens_gpu");
    std::string third = call_on_new_thread("hostlens_gpu");
    EXPECT_EQ(second, first);
    EXPECT_EQ(third, first);
    /* The answer came from WMI, not from the display-device fallback,
     * whose entries carry no memory figure. */
    EXPECT_EQ(hl_parse(second)["gpu"][0]["vram_mb"], 512);
}

TEST(WineWmi, NoThermalZonesGiveMinusOne)
{
    EXPECT_EQ(hl_call("hostlens_cpu_temp"), "{\"cpu_temp\":{\"celsius\":-1.0}}");
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
    EXPECT_EQ(call_on_new_thread("hostlens_cpu_temp"), "{\"cpu_temp\":{\"celsius\":-1.0}}");
}

TEST(WineWmi, NoBatteries)
{
    EXPECT_EQ(hl_call("hostlens_battery"), "{\"battery\":[]}");
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
}

TEST(WineWmi, ThreadAlreadyInTheMultithreadedApartment)
{
    std::string text;
    std::thread t([&] {
        CoInitializeEx(NULL, COINIT_MULTITHREADED);
        text = hl_call("hostlens_gpu");
        CoUninitialize();
    });
    t.join();
    EXPECT_EQ(text, hl_call("hostlens_gpu"));
}
