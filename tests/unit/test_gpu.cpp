/*
 * GPU: the vendor rule, adapter memory, the capacity, the display-device
 * fallback, the output count and the class-key driver search.
 */
#include "test_util.h"

#include <thread>

namespace
{

const int64_t NONE = INT64_MIN;
const char *const CLASS_KEY =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";

int controller(const char *name, int64_t ram = 1073741824, const char *driver = "1.2.3",
               uint16_t ram_vt = 3)
{
    int r = fake_wmi_row("root\\cimv2", "Win32_VideoController");
    if (name != nullptr)
        fake_wmi_str(r, "Name", name);
    if (ram != NONE)
        fake_wmi_num(r, "AdapterRAM", ram_vt, ram);
    if (driver != nullptr)
        fake_wmi_str(r, "DriverVersion", driver);
    return r;
}

hl_gpu_list_t collect()
{
    hl_gpu_list_t list;
    hl_impl_gpu(&list);
    return list;
}

} // namespace

TEST(Gpu, Document)
{
    controller("NVIDIA GeForce GT 710", 1073741824, "30.0.14.7141");
    fake_add_display_device("NVIDIA GeForce GT 710", 0x1 | 0x4);
    hl_json_reset(hl_json_thread()); /* the thread's buffer is kept, not leaked */
    long heap = fake_outstanding(FAKE_RES_HEAP);
    EXPECT_EQ(doc(hostlens_gpu()),
              "{\"gpu\":[{\"vendor\":\"NVIDIA\",\"model\":\"NVIDIA GeForce GT 710\","
              "\"vram_mb\":1024,\"driver_version\":\"30.0.14.7141\",\"output_count\":1}]}");
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(
        fake_wmi_log().queries,
        (std::vector<std::string>{
            "SELECT Name, AdapterRAM, DriverVersion, PNPDeviceID FROM Win32_VideoController"}));
    fake_reset();
    EXPECT_EQ(doc(hostlens_gpu()), "{\"gpu\":[]}");
}

TEST(Gpu, VendorRule)
{
    struct {
        const char *name;
        const char *vendor;
    } cases[] = {
        {"NVIDIA GeForce RTX 3060", "NVIDIA"},
        {"nVidia Quadro", "NVIDIA"},
        {"my nvidia card", "NVIDIA"},
        {"Intel(R) UHD Graphics 630", "Intel"},
        {"AMD Radeon RX 6600", "AMD"},
        {"Radeon Pro", "AMD"},
        {"Intel and NVIDIA Optimus", "NVIDIA"},
        {"Microsoft Basic Display Adapter", "unknown"},
        {"", "unknown"},
        {"INTE", "unknown"},
    };
    for (const auto &c : cases) {
        fake_reset();
        controller(c.name);
        hl_gpu_list_t list = collect();
        ASSERT_EQ(list.count, 1);
        EXPECT_STREQ(list.gpus[0].vendor, c.vendor) << c.name;
    }
}

TEST(Gpu, AdapterMemory)
{
    struct {
        int64_t ram;
        uint16_t vt;
        int64_t mb;
    } cases[] = {
        {1073741824, 3, 1024},
        {1073741823, 3, 1023},
        {0, 3, -1},
        {NONE, 3, -1},
        /* A uint32 delivered as VT_I4: 3 GiB arrives as a negative number. */
        {(int32_t)0xC0000000u, 3, 3072},
        {(int32_t)0x80000000u, 3, 2048},
        {-1, 3, 4095},
        {(int64_t)0xC0000000u, 19, 3072}, /* VT_UI4 */
        {INT64_C(8589934592), 20, 8192},  /* VT_I8 */
        {INT64_C(-8589934592), 20, -1},
        {1073741824, 1, -1}, /* VT_NULL */
        {1073741824, 8, -1}, /* not a number at all */
    };
    for (const auto &c : cases) {
        fake_reset();
        int r = controller("X", NONE);
        if (c.ram != NONE) {
            if (c.vt == 1)
                fake_wmi_null(r, "AdapterRAM");
            else if (c.vt == 8)
                fake_wmi_str(r, "AdapterRAM", "1073741824");
            else
                fake_wmi_num(r, "AdapterRAM", c.vt, c.ram);
        }
        EXPECT_EQ(collect().gpus[0].vram_mb, c.mb) << c.ram << " vt " << c.vt;
    }
}

TEST(Gpu, TenControllersGiveTheFirstEight)
{
    for (int i = 0; i < 10; i++)
        controller(("GPU " + std::to_string(i)).c_str());
    hl_gpu_list_t list = collect();
    ASSERT_EQ(list.count, 8);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(std::string(list.gpus[i].model), "GPU " + std::to_string(i));
    EXPECT_TRUE(fake_all_released());
}

TEST(Gpu, DisplayDeviceFallback)
{
    fake_add_display_device("Intel(R) UHD Graphics", 0x1 | 0x4);
    fake_add_display_device("USB Display", 0x20 | 0x1);
    fake_add_display_device("Intel(R) UHD Graphics", 0x0);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, std::string(CLASS_KEY).append("\\0000").c_str(),
                    "DriverVersion", "27.20.100.8681");
    EXPECT_EQ(doc(hostlens_gpu()),
              "{\"gpu\":["
              "{\"vendor\":\"Intel\",\"model\":\"Intel(R) UHD Graphics\",\"vram_mb\":\"unknown\","
              "\"driver_version\":\"unknown\",\"output_count\":2},"
              "{\"vendor\":\"Intel\",\"model\":\"Intel(R) UHD Graphics\",\"vram_mb\":\"unknown\","
              "\"driver_version\":\"unknown\",\"output_count\":2}]}");
    /* Empty driver versions are not looked up. */
    EXPECT_EQ(fake_calls(FAKE_REG_OPEN), 0);
    EXPECT_TRUE(fake_all_released());
}

TEST(Gpu, FallbackWhateverWmiFailed)
{
    fake_add_display_device("Wine Adapter", 0x15);
    for (fake_op op :
         {FAKE_COM_INIT, FAKE_WMI_LOCATOR, FAKE_WMI_CONNECT, FAKE_WMI_EXEC, FAKE_WMI_NEXT}) {
        fake_fail(op, 1, false, (long)0x80004005u);
        /* A fresh thread, outside COM as a host's thread would be. */
        hl_gpu_list_t list;
        std::thread([&] { hl_impl_gpu(&list); }).join();
        ASSERT_EQ(list.count, 1) << fake_op_name(op);
        EXPECT_STREQ(list.gpus[0].model, "Wine Adapter");
        EXPECT_EQ(list.gpus[0].output_count, 1);
        EXPECT_TRUE(fake_all_released());
        fake_reset();
        fake_add_display_device("Wine Adapter", 0x15);
    }
    /* Nine devices: eight entries. */
    for (int i = 0; i < 8; i++)
        fake_add_display_device("More", 0);
    EXPECT_EQ(collect().count, 8);
}

TEST(Gpu, OutputCountIsTheSameForEveryEntry)
{
    controller("AMD Radeon");
    controller("Intel(R) Iris");
    fake_add_display_device("a", 0x1);
    fake_add_display_device("b", 0x1 | 0x20);
    fake_add_display_device("c", 0x5);
    fake_add_display_device("d", 0x4);
    hl_gpu_list_t list = collect();
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.gpus[0].output_count, 3);
    EXPECT_EQ(list.gpus[1].output_count, 3);
    /* One walk for both entries: four devices and the call that ends it. */
    EXPECT_EQ(fake_calls(FAKE_DISPLAY_DEVICE), 5);
}

TEST(Gpu, DriverVersionFromTheClassKey)
{
    std::string key(CLASS_KEY);
    struct {
        const char *what;
        std::vector<std::pair<std::string, const char *>> subkeys; /* name, DriverVersion */
        const char *expect;
    } cases[] = {
        {"first non-empty",
         {{"0000", nullptr}, {"0001", ""}, {"0002", "31.0.1"}, {"0003", "9"}},
         "31.0.1"},
        {"short names other than digits", {{"Properties", "7.7"}}, "7.7"},
        {"a long name ends the search",
         {{"0000", nullptr}, {"ConfigurationX", "8.8"}, {"0001", "9.9"}},
         "unknown"},
        {"nothing found", {{"0000", nullptr}}, "unknown"},
        {"no class key", {}, "unknown"},
        {"too long for the field",
         {{"0000", "0123456789012345678901234567890123456789"
                   "0123456789012345678901234"}},
         "unknown"},
    };
    for (const auto &c : cases) {
        fake_reset();
        controller("NVIDIA", 1073741824, "");
        for (const auto &s : c.subkeys) {
            std::string path = key + "\\" + s.first;
            fake_reg_add_key(HL_HKEY_LOCAL_MACHINE, path.c_str());
            if (s.second != nullptr)
                fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, path.c_str(), "DriverVersion", s.second);
        }
        long heap = fake_outstanding(FAKE_RES_HEAP);
        hl_gpu_list_t list = collect();
        EXPECT_STREQ(list.gpus[0].driver_version, c.expect) << c.what;
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
        EXPECT_TRUE(fake_all_released()) << c.what;
        for (uint32_t access : fake_reg_access_log())
            EXPECT_EQ(access, 0x20019u) << c.what;
    }
}

TEST(Gpu, DriverSearchRunsOnlyForAnEmptyWmiString)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, std::string(CLASS_KEY).append("\\0000").c_str(),
                    "DriverVersion", "31.0.1");
    controller("missing driver", 1073741824, nullptr);
    controller("empty driver", 1073741824, "");
    controller("own driver", 1073741824, "1.0");
    hl_gpu_list_t list = collect();
    EXPECT_STREQ(list.gpus[0].driver_version, "");
    EXPECT_STREQ(list.gpus[1].driver_version, "31.0.1");
    EXPECT_STREQ(list.gpus[2].driver_version, "1.0");
    /* The class key and its one subkey, once for the memory and once for the
     * one driver search. */
    EXPECT_EQ(fake_calls(FAKE_REG_OPEN), 4);
    auto d = parsed(hostlens_gpu());
    EXPECT_EQ(d["gpu"][0]["driver_version"], "unknown");
}

TEST(Gpu, UnterminatedDriverVersionStaysInsideItsBuffer)
{
    /* 256 bytes of digits without a NUL: the query fills the whole buffer. */
    std::u16string digits(128, u'7');
    std::string path = std::string(CLASS_KEY) + "\\0000";
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, path.c_str(), "DriverVersion", 1, digits.data(), 256);
    controller("NVIDIA", 1073741824, "");
    EXPECT_STREQ(collect().gpus[0].driver_version, "unknown");
    std::u16string short_digits(20, u'7');
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, path.c_str(), "DriverVersion", 1, short_digits.data(), 40);
    EXPECT_EQ(std::string(collect().gpus[0].driver_version), std::string(20, '7'));
}

namespace
{

struct reg_value {
    const char *name;
    uint32_t type;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> le(uint64_t v, size_t n)
{
    std::vector<uint8_t> b;
    for (size_t i = 0; i < n; i++)
        b.push_back((uint8_t)(v >> (8 * i)));
    return b;
}

void instance_key(const char *subkey, const char *desc, const std::vector<reg_value> &values)
{
    std::string path = std::string(CLASS_KEY) + "\\" + subkey;
    fake_reg_add_key(HL_HKEY_LOCAL_MACHINE, path.c_str());
    if (desc != nullptr)
        fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, path.c_str(), "DriverDesc", desc);
    for (const reg_value &v : values)
        fake_reg_set(HL_HKEY_LOCAL_MACHINE, path.c_str(), v.name, v.type, v.data.data(),
                     (uint32_t)v.data.size());
}

const char *const QW = "HardwareInformation.qwMemorySize";
const char *const DW = "HardwareInformation.MemorySize";
const uint64_t GIB = UINT64_C(1) << 30;

} // namespace

TEST(Gpu, MemoryBeyondAdapterRamFromTheClassKey)
{
    const std::vector<uint8_t> text = {'8', 0, 0, 0};
    struct {
        const char *what;
        int64_t adapter_ram; /* VT_I4 as WMI delivers it */
        const char *desc;
        std::vector<reg_value> values;
        int64_t mb;
    } cases[] = {
        {"REG_QWORD over a capped AdapterRAM", -1, "Card", {{QW, 11, le(8 * GIB, 8)}}, 8192},
        {"8 bytes of REG_BINARY", NONE, "Card", {{QW, 3, le(6 * GIB, 8)}}, 6144},
        {"REG_DWORD of old drivers", NONE, "Card", {{DW, 4, le(2 * GIB, 4)}}, 2048},
        {"4 bytes of REG_BINARY", NONE, "Card", {{DW, 3, le(GIB, 4)}}, 1024},
        {"qword first", NONE, "Card", {{QW, 11, le(12 * GIB, 8)}, {DW, 4, le(GIB, 4)}}, 12288},
        {"zero qword: the dword", NONE, "Card", {{QW, 11, le(0, 8)}, {DW, 4, le(GIB, 4)}}, 1024},
        {"smaller than AdapterRAM", 1073741824, "Card", {{QW, 11, le(GIB / 2, 8)}}, 1024},
        {"less than a MiB says nothing", NONE, "Card", {{QW, 11, le(4096, 8)}}, -1},
        {"qword as REG_SZ", 536870912, "Card", {{QW, 1, text}}, 512},
        {"3-byte binary", NONE, "Card", {{QW, 3, le(8 * GIB, 3)}, {DW, 3, le(GIB, 3)}}, -1},
        {"another adapter's key", 536870912, "Other", {{QW, 11, le(8 * GIB, 8)}}, 512},
        {"no DriverDesc", 536870912, nullptr, {{QW, 11, le(8 * GIB, 8)}}, 512},
    };
    for (const auto &c : cases) {
        fake_reset();
        controller("Card", c.adapter_ram);
        instance_key("0000", c.desc, c.values);
        long heap = fake_outstanding(FAKE_RES_HEAP);
        EXPECT_EQ(collect().gpus[0].vram_mb, c.mb) << c.what;
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
}

TEST(Gpu, AdaptersOfOneNameTakeTheirKeysInOrder)
{
    controller("Twin", NONE);
    controller("Solo", NONE);
    controller("Twin", NONE);
    controller("Twin", NONE);
    instance_key("0000", "Twin", {{QW, 11, le(4 * GIB, 8)}});
    /* A name too long for the driver search does not end this walk. */
    instance_key("Configuration", nullptr, {});
    instance_key("0001", "Solo", {{QW, 11, le(6 * GIB, 8)}});
    instance_key("0002", "Twin", {{QW, 11, le(16 * GIB, 8)}});
    hl_gpu_list_t list = collect();
    ASSERT_EQ(list.count, 4);
    EXPECT_EQ(list.gpus[0].vram_mb, 4096);
    EXPECT_EQ(list.gpus[1].vram_mb, 6144);
    EXPECT_EQ(list.gpus[2].vram_mb, 16384);
    EXPECT_EQ(list.gpus[3].vram_mb, -1);
    EXPECT_TRUE(fake_all_released());

    /* Adapters from the display devices are not looked up. */
    fake_reset();
    fake_add_display_device("Twin", 0x1);
    instance_key("0000", "Twin", {{QW, 11, le(4 * GIB, 8)}});
    EXPECT_EQ(collect().gpus[0].vram_mb, -1);
}

TEST(Gpu, EachAdapterTakesItsOwnDriverInstance)
{
    /* Two adapters of one name; 0000 is the instance of a card that is gone. */
    const std::string guid = "{4d36e968-e325-11ce-bfc1-08002be10318}\\";
    const char *const devices[2] = {"PCI\\VEN_10DE&DEV_2504\\4&1", "PCI\\VEN_10DE&DEV_2504\\4&2"};
    struct {
        const char *what;
        const char *driver[2]; /* each device's "Driver"; nullptr: no PNPDeviceID */
        int64_t mb[2];
        const char *version[2]; /* the own instance's; else the first instance's */
    } cases[] = {
        {"own instances, in any order",
         {"{4D36E968-E325-11CE-BFC1-08002BE10318}\\0002", "0001"},
         {16384, 12288},
         {"16.0", "12.0"}},
        {"the fallback skips an instance another adapter owns",
         {nullptr, "0000"},
         {12288, 8192},
         {"8.0", "8.0"}},
        {"a driver of another class",
         {"{4d36e972-e325-11ce-bfc1-08002be10318}\\0001", "0002"},
         {8192, 16384},
         {"8.0", "16.0"}},
        {"an own instance without a figure", {"0003", "0001"}, {-1, 12288}, {"unknown", "12.0"}},
        {"an instance that does not exist", {"0009", "0001"}, {8192, 12288}, {"8.0", "12.0"}},
        {"no instance number", {"", "0001"}, {8192, 12288}, {"8.0", "12.0"}},
    };
    for (const auto &c : cases) {
        fake_reset();
        for (int i = 0; i < 2; i++) {
            int r = controller("Twin", NONE, ""); /* no version from WMI */
            if (c.driver[i] == nullptr)
                continue;
            fake_wmi_str(r, "PNPDeviceID", devices[i]);
            std::string d = c.driver[i];
            std::string path = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + devices[i];
            fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, path.c_str(), "Driver",
                            (d.find('{') == 0 ? d : guid + d).c_str());
        }
        instance_key("0000", "Twin", {{QW, 11, le(8 * GIB, 8)}});
        instance_key("0001", "Twin", {{QW, 11, le(12 * GIB, 8)}});
        instance_key("0002", "Twin", {{QW, 11, le(16 * GIB, 8)}});
        instance_key("0003", "Twin", {});
        const char *const versions[][2] = {{"0000", "8.0"}, {"0001", "12.0"}, {"0002", "16.0"}};
        for (const auto &v : versions)
            fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, (std::string(CLASS_KEY) + "\\" + v[0]).c_str(),
                            "DriverVersion", v[1]);
        hl_gpu_list_t list = collect();
        ASSERT_EQ(list.count, 2);
        EXPECT_EQ(list.gpus[0].vram_mb, c.mb[0]) << c.what;
        EXPECT_EQ(list.gpus[1].vram_mb, c.mb[1]) << c.what;
        EXPECT_STREQ(list.gpus[0].driver_version, c.version[0]) << c.what;
        EXPECT_STREQ(list.gpus[1].driver_version, c.version[1]) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
}

TEST(Gpu, SnapshotSectionEqualsTheDocument)
{
    controller("NVIDIA GeForce GT 710");
    controller("Intel(R) UHD", 0, "");
    fake_add_display_device("x", 1);
    auto single = parsed(hostlens_gpu());
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["gpu"], single["gpu"]);
}
