/*
 * The summary's sources that need no COM and no window: the display
 * adapters the device manager has present, tied to their own driver
 * instance keys, and the CPU without its usage sample.
 */
#include "test_util.h"

#include "hl_adapter.h"
#include "machine.h"

namespace
{
const char *const CLASS_KEY =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";

std::string instance(const char *sub)
{
    return std::string(CLASS_KEY) + "\\" + sub;
}

nlohmann::ordered_json adapters()
{
    return parsed(hostlens_collect("display_adapters"))["display_adapters"];
}
} // namespace

TEST(DisplayAdapters, PresentDevicesWithTheirOwnInstanceKeys)
{
    script_machine();
    /* The NVIDIA card's key 0000 and the Intel one's 0002 are read; 0001,
     * a card that is gone, is not listed though its key holds a name and
     * memory. */
    EXPECT_EQ(
        doc(hostlens_collect("display_adapters")),
        "{\"display_adapters\":[{\"name\":\"NVIDIA GeForce GT 710\",\"vendor\":\"NVIDIA\","
        "\"vram_mb\":8192,\"driver_version\":\"31.0.15.1694\","
        "\"device\":\"PCI\\\\VEN_10DE&DEV_128B&SUBSYS_118B10DE&REV_A1\\\\4&2F3A1B2C&0&0008\"},"
        "{\"name\":\"Intel(R) UHD Graphics 630\",\"vendor\":\"Intel\",\"vram_mb\":128,"
        "\"driver_version\":\"27.20.100.9316\","
        "\"device\":\"PCI\\\\VEN_8086&DEV_9BC4&SUBSYS_09C41028&REV_05\\\\3&11583659&0&10\"}]}");
    EXPECT_EQ(fake_calls(FAKE_WMI_LOCATOR) + fake_calls(FAKE_COM_INIT) +
                  fake_calls(FAKE_DISPLAY_DEVICE) + fake_calls(FAKE_DISPLAY_CONFIG),
              0);
    EXPECT_TRUE(fake_all_released());
}

TEST(DisplayAdapters, NamesMemoryAndVendorFromWhatTheDeviceHas)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, instance("0003").c_str(), "DriverDesc",
                    "Radeon RX 6600 (driver)");
    const uint64_t big = UINT64_C(12) << 30;
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, instance("0003").c_str(),
                 "HardwareInformation.qwMemorySize", 3, &big, 8); /* REG_BINARY */
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, instance("0004").c_str(), "DriverDesc", "");
    struct {
        fake_display_adapter_t device;
        const char *name, *vendor, *vram, *driver;
    } cases[] = {
        /* No device texts: the instance key's name; the maker from it. */
        {{"PCI\\VEN_ABCD&DEV_1\\1", "", "", "{4D36E968-E325-11CE-BFC1-08002BE10318}\\0003",
          "PCI\\VEN_ABCD&DEV_0001"},
         "Radeon RX 6600 (driver)",
         "AMD",
         "12288",
         "unknown"},
        /* An empty DriverDesc, an unknown vendor number, a non-PCI ID. */
        {{"ROOT\\DISPLAY\\0000", "", "", HL_DISPLAY_CLASS_GUID "\\0004", "ROOT\\BasicDisplay"},
         "unknown",
         "unknown",
         "unknown",
         "unknown"},
        /* A driver key of another class, or naming a deeper path, reads
         * no instance. */
        {{"PCI\\VEN_15AD&DEV_0405\\3", "", "SVGA 3D",
          "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003", "PCI\\VEN_15AD&DEV_0405"},
         "SVGA 3D",
         "VMware",
         "unknown",
         "unknown"},
        {{"PCI\\VEN_1414&DEV_008C\\3", "", "Basic Render", HL_DISPLAY_CLASS_GUID "\\0003\\x",
          "PCI\\VEN_1414&DEV_008C"},
         "Basic Render",
         "Microsoft",
         "unknown",
         "unknown"},
        /* A key that does not exist, and a text too long for any buffer. */
        {{std::string(600, 'I'), "", std::string(600, 'n'), HL_DISPLAY_CLASS_GUID "\\0099", ""},
         "unknown",
         "unknown",
         "unknown",
         "unknown"},
    };
    for (const auto &c : cases)
        fake_add_display_adapter(c.device);
    auto list = adapters();
    ASSERT_EQ(list.size(), sizeof cases / sizeof cases[0]);
    for (size_t i = 0; i < list.size(); i++) {
        const auto &c = cases[i];
        auto text = [](const nlohmann::ordered_json &v) {
            return v.is_string() ? v.get<std::string>() : v.dump();
        };
        EXPECT_EQ(text(list[i]["name"]), c.name) << i;
        EXPECT_EQ(text(list[i]["vendor"]), c.vendor) << i;
        EXPECT_EQ(text(list[i]["vram_mb"]), c.vram) << i;
        EXPECT_EQ(text(list[i]["driver_version"]), c.driver) << i;
    }
    EXPECT_EQ(list[4]["device"], "unknown");
    EXPECT_TRUE(fake_all_released());
}

TEST(DisplayAdapters, EnumerationFailuresAndNoCap)
{
    EXPECT_EQ(doc(hostlens_collect("display_adapters")), "{\"display_adapters\":[]}");
    for (int i = 0; i < 40; i++)
        fake_add_display_adapter({"PCI\\VEN_10DE&DEV_1\\" + std::to_string(i), "", "GPU", "", ""});
    EXPECT_EQ(adapters().size(), 40u);
    fake_fail(FAKE_DISPLAY_ADAPTERS, 1);
    EXPECT_EQ(doc(hostlens_collect("display_adapters")), "{\"display_adapters\":[]}");
    /* The enumeration ends where the platform ends it. */
    fake_fail(FAKE_DISPLAY_ADAPTER_TEXT, 6); /* the second device's first text */
    EXPECT_EQ(adapters().size(), 1u);
    fake_fail(FAKE_REALLOC, 1);
    EXPECT_EQ(hostlens_collect("display_adapters"), nullptr);
    EXPECT_TRUE(fake_all_released());
}

TEST(DisplayAdapters, VendorAndDriverKeyReaders)
{
    struct {
        const char *id, *name, *vendor;
    } vendors[] = {
        {"PCI\\VEN_10DE&DEV_2206", "", "NVIDIA"},
        {"pci\\ven_1002&dev_73ff", "", "AMD"},
        {"PCI\\VEN_8086", "", "Intel"},
        {"PCI\\VEN_80EE&DEV_BEEF\\x", "NVIDIA card", "VirtualBox"},
        {"PCI\\VEN_10DEX&DEV_1", "", "unknown"}, /* five digits */
        {"PCI\\VEN_10D", "", "unknown"},
        {"PCI\\VEN_ZZZZ", "Intel(R) Iris", "Intel"},
        {"ROOT\\BasicDisplay", "AMD Radeon(TM) Graphics", "AMD"},
        {"", "Some Radeon", "AMD"},
        {"", "Wine Adapter", "unknown"},
    };
    for (const auto &v : vendors)
        EXPECT_STREQ(hl_adapter_vendor(v.id, strlen(v.id), v.name), v.vendor) << v.id;
    /* The length bounds the read, not a terminator. */
    EXPECT_STREQ(hl_adapter_vendor("PCI\\VEN_10DE", 10, ""), "unknown");
    EXPECT_STREQ(hl_adapter_vendor(nullptr, 0, nullptr), "unknown");

    struct {
        const char *driver;
        const char *sub; /* nullptr: refused */
    } keys[] = {
        {"{4d36e968-e325-11ce-bfc1-08002be10318}\\0001", "0001"},
        {"{4D36E968-E325-11CE-BFC1-08002BE10318}\\0012", "0012"},
        {"{4d36e968-e325-11ce-bfc1-08002be10318}\\", nullptr},
        {"{4d36e968-e325-11ce-bfc1-08002be10318}", nullptr},
        {"{4d36e968-e325-11ce-bfc1-08002be10318}0001", nullptr},
        {"{4d36e968-e325-11ce-bfc1-08002be10318}\\00\\01", nullptr},
        {"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001", nullptr},
        {"{4d36e968-e325-11ce-bfc1-08002be10318}\\0123456789ABCDEF", nullptr}, /* too long */
    };
    for (const auto &k : keys) {
        char sub[16];
        int ok = hl_adapter_driver_subkey(k.driver, strlen(k.driver), sub, sizeof sub);
        EXPECT_EQ(ok, k.sub != nullptr) << k.driver;
        if (ok) {
            EXPECT_STREQ(sub, k.sub);
        }
    }
}

/* cpu_info is the cpu document up to its speed, read with no sample, no
 * counter and no sleep. */
TEST(CpuInfo, TheCpuDocumentsIdentityWithoutTheWindow)
{
    fake_trace_ops();
    script_machine();
    auto info = parsed(hostlens_collect("cpu_info"))["cpu_info"];
    for (fake_op op : fake_traced_ops())
        EXPECT_TRUE(op != FAKE_SLEEP && op != FAKE_SYSTEM_TIMES && op != FAKE_PDH_OPEN &&
                    op != FAKE_THREAD_TIMES)
            << fake_op_name(op);
    auto cpu = parsed(hostlens_cpu())["cpu"];
    cpu.erase("usage_percent");
    cpu.erase("per_core_percent");
    EXPECT_EQ(info.dump(), cpu.dump());
    EXPECT_EQ(info["logical_cores"], 4);
}
