#include "machine.h"

#include <string.h>

#include <string>

#include "fake.h"

static const char *const nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

static void script_registry()
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "ProductName", "Windows 10 Pro");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "DisplayVersion", "22H2");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "CurrentVersion", "6.3");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "CurrentBuildNumber", "19045");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "BuildLabEx",
                    "19041.1.amd64fre.vb_release.191206-1406");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "ProductId", "00330-80000-00000-AA123");
    const uint8_t date[4] = {0x00, 0x10, 0x5E, 0x5F};
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, nt, "InstallationDate", 3, date, 4);
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, nt, "InstallDate", 0x4be5019a);
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, nt, "UBR", 3803);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "EditionID", "Professional");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, nt, "InstallationType", "Client");
    /* The installation a feature update replaced, installed earlier. */
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE,
                       "SYSTEM\\Setup\\Source OS (Updated on 9/13/2020 12:26:40)", "InstallDate",
                       0x5D6A4F80);
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                       "~MHz", 3600);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                    "ProcessorNameString", "  Quad-Core Processor @ 3.60GHz \r\n");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Command Processor", "Version",
                    "10.0.22621.1");
    fake_reg_set_sz(HL_HKEY_CURRENT_USER, "Control Panel\\Desktop", "FullName",
                    "Ada L\xC3\xB6velace");
    const char *u64 = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const char *u32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, (std::string(u64) + "\\Editor").c_str(), "DisplayName",
                    "Editor");
    fake_reg_add_key(HL_HKEY_LOCAL_MACHINE, (std::string(u64) + "\\KB123").c_str());
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, (std::string(u32) + "\\Viewer").c_str(), "DisplayName",
                    "Viewer", FAKE_VIEW_32);
    const char *cls =
        "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";
    fake_reg_add_key(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\Properties").c_str());
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\0000").c_str(), "DriverVersion",
                    "31.0.15.1694");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\0000").c_str(), "DriverDesc",
                    "NVIDIA GeForce GT 710");
    const uint64_t vram = UINT64_C(8) << 30;
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\0000").c_str(),
                 "HardwareInformation.qwMemorySize", 11, &vram, 8);
    /* A card that is gone: its instance key stays. */
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\0001").c_str(), "DriverDesc",
                    "AMD Radeon HD 7700");
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\0001").c_str(),
                 "HardwareInformation.qwMemorySize", 11, &vram, 8);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\0002").c_str(), "DriverVersion",
                    "27.20.100.9316");
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, (std::string(cls) + "\\0002").c_str(),
                       "HardwareInformation.MemorySize", 128u << 20);
}

static void script_processors()
{
    fake_set_processor_count(4);
    std::vector<uint8_t> cores, packages;
    for (int i = 0; i < 2; i++) {
        std::vector<uint8_t> r = fake_lpi_record(0, 48);
        cores.insert(cores.end(), r.begin(), r.end());
    }
    packages = fake_lpi_record(3, 48);
    fake_set_lpi(0, cores);
    fake_set_lpi(3, packages);
    fake_set_lpi(4, fake_lpi_groups({4}));
    fake_push_system_times(1000000, 3000000, 1000000);
    fake_push_system_times(1500000, 5000000, 1000000);
    const char *paths[] = {"\\\\.\\Processor Information(0,0)\\% Processor Time",
                           "\\\\.\\Processor Information(0,1)\\% Processor Time",
                           "\\\\.\\Processor Information(0,2)\\% Processor Time",
                           "\\\\.\\Processor Information(0,3)\\% Processor Time"};
    const double values[] = {3.125, 0.0, 12.5, 100.0};
    for (int i = 0; i < 4; i++)
        fake_pdh_counter(paths[i], values[i]);
    /* Times since boot, 100 ns: idle, kernel (idle included), user, DPC,
     * interrupt. */
    fake_set_processor_times(
        0, {{UINT64_C(36000000000), UINT64_C(41000000000), 9000000000, 1234567, 7654321},
            {UINT64_C(35000000000), UINT64_C(38000000000), 12000000005, 0, 1},
            {UINT64_C(38000000000), UINT64_C(39000000000), 7000000000, 10, 20},
            {UINT64_C(30000000000), UINT64_C(36000000000), 11000000000, 0, 0}});
    /* An AMD EPYC under KVM. */
    fake_set_cpuid(0, 0, 0x10, 0, 0, 0);
    fake_set_cpuid(1, 0, 0x00A00F11, 0x01020800, 0xFFFA3203, 0x178BFBFF);
    fake_set_cpuid(7, 0, 0, 0x219C07AB, 0x0040069C, 0x00000010);
    fake_set_cpuid(0x80000000u, 0, 0x80000021u, 0, 0, 0);
    fake_set_cpuid(0x80000001u, 0, 0x00A00F11, 0, 0x75C237FF, 0x2FD3FBFF);
    fake_set_cpuid_hypervisor(0x40000001u, "KVMKVMKVM\0\0\0");
}

static void script_firmware()
{
    std::vector<uint8_t> t = {0, 2, 4, 0, 0, 0, 0, 0}; /* header; length set below */
    auto structure = [&](std::vector<uint8_t> formatted, std::vector<const char *> strings) {
        t.insert(t.end(), formatted.begin(), formatted.end());
        for (const char *s : strings)
            t.insert(t.end(), s, s + strlen(s) + 1);
        if (strings.empty())
            t.push_back(0);
        t.push_back(0);
    };
    structure({0, 0x18, 0, 0, 1, 2, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
              {"Firmware Co.", "1.2.3", "01/02/2024"});
    std::vector<uint8_t> sys(0x1B, 0);
    sys[0] = 1;
    sys[1] = 0x1B;
    sys[4] = 1;
    sys[5] = 2;
    sys[6] = 3;
    sys[0x1A] = 4;
    structure(sys, {"Maker", "Model 7", "Rev A", "Family X"});
    structure({2, 8, 0, 0, 1, 2, 0, 0}, {"Board Maker", "Board 1"});
    structure({3, 6, 0, 0, 0, 0x83}, {});
    structure({127, 4, 0, 0}, {});
    uint32_t len = (uint32_t)(t.size() - 8);
    memcpy(&t[4], &len, 4);
    fake_set_firmware(t);
}

static void script_wmi()
{
    int r = fake_wmi_row("root\\cimv2", "Win32_VideoController");
    fake_wmi_str(r, "Name", "NVIDIA GeForce GT 710");
    fake_wmi_num(r, "AdapterRAM", 3, (int32_t)0xC0000000);
    fake_wmi_str(r, "DriverVersion", "");
    r = fake_wmi_row("root\\cimv2", "Win32_VideoController");
    fake_wmi_str(r, "Name", "Intel(R) UHD Graphics");
    fake_wmi_null(r, "AdapterRAM");
    r = fake_wmi_row("root\\WMI", "MSAcpi_ThermalZoneTemperature");
    fake_wmi_num(r, "CurrentTemperature", 19, 3000);
    r = fake_wmi_row("root\\WMI", "MSAcpi_ThermalZoneTemperature");
    fake_wmi_num(r, "CurrentTemperature", 3, 3132);
    r = fake_wmi_row("root\\cimv2", "Win32_Battery");
    fake_wmi_str(r, "Name", "Internal Battery");
    fake_wmi_num(r, "BatteryStatus", 18, 5);
    fake_wmi_num(r, "EstimatedChargeRemaining", 18, 87);
    fake_wmi_num(r, "EstimatedRunTime", 3, 95);
    fake_add_display_device("NVIDIA GeForce GT 710", 0x5);
    fake_add_display_device("Virtual Display", 0x20);
}

static void script_network()
{
    const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    fake_net_add_adapter(1, "Loopback Pseudo-Interface 1");
    fake_net_add_unicast("127.0.0.1");
    fake_net_add_unicast("::1");
    fake_net_add_adapter(7, "Ethernet", mac, 6);
    fake_net_add_unicast("fe80::1c2d:3e4f:5a6b:7c8d");
    fake_net_add_unicast("192.168.1.20");
    fake_net_add_adapter(9, "Wi-Fi", mac, 6);
    fake_net_set_oper_status(2);
    fake_net_add_if_row(1, 24);
    fake_net_add_if_row(7, 6);
    fake_net_add_if_row(9, 71, 2);
    /* The interface table of GetIfTable2: the loopback, a 10 Gb/s adapter,
     * a filter row repeating its traffic, and Wi-Fi down with no speed. */
    fake_net_add_if2_row({UINT64_C(0x18000000000000),
                          1,
                          "Loopback Pseudo-Interface 1",
                          "Software Loopback Interface 1",
                          {},
                          0,
                          1,
                          1073741824,
                          1073741824,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0});
    fake_net_add_if2_row({UINT64_C(0x6000001000000),
                          7,
                          "Ethernet",
                          "Intel(R) Ethernet X550",
                          std::vector<uint8_t>(mac, mac + 6),
                          1,
                          1,
                          UINT64_C(10000000000),
                          UINT64_C(10000000000),
                          UINT64_C(81604378624),
                          61000000,
                          120000,
                          5,
                          2,
                          17,
                          UINT64_C(6442450944),
                          9000000,
                          3000,
                          1,
                          0});
    fake_net_add_if2_row({UINT64_C(0x6000002000000),
                          8,
                          "Ethernet-WFP Native MAC Layer LightWeight Filter-0000",
                          "Intel(R) Ethernet X550-WFP Native MAC Layer LightWeight Filter-0000",
                          std::vector<uint8_t>(mac, mac + 6),
                          2,
                          1,
                          UINT64_C(10000000000),
                          UINT64_C(10000000000),
                          UINT64_C(81604378624),
                          61000000,
                          120000,
                          5,
                          2,
                          17,
                          UINT64_C(6442450944),
                          9000000,
                          3000,
                          1,
                          0});
    fake_net_add_if2_row({UINT64_C(0x47000003000000),
                          9,
                          "Wi-Fi",
                          "Wireless Adapter",
                          std::vector<uint8_t>(mac, mac + 6),
                          1,
                          2,
                          UINT64_MAX,
                          UINT64_MAX,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0});
}

static void script_environment()
{
    fake_env_set("ComSpec", "C:\\Windows\\System32\\cmd.exe");
    fake_env_set("WT_SESSION", "{5a9b}");
    fake_env_set("TERM", "xterm-256color");
    fake_set_user_name("ada");
    fake_set_computer_name("workstation");
    fake_set_locale_name("en-US");
    fake_set_process_count(187);
    /* Created 2024-01-01T00:00:00Z, the boot the clock above implies. */
    const uint64_t boot = UINT64_C(116444736000000000) + UINT64_C(17040672000000000);
    fake_add_process({0, 0, u"", 4, 0, 0, 0, UINT64_C(1500000000000), 8192, 61440});
    fake_add_process({4, 0, u"System", 250, 5120, boot, 0, 98765432, 155648, 40960});
    fake_add_process({1234, 4, u"Caf\u00e9 \U0001F680.exe", 12, 345, boot + 600000000, 15625000,
                      1093750, 52428800, 33554432});
    fake_http_set_body("{\"query\":\"203.0.113.7\",\"country\":\"Germany\",\"city\":\"Berlin\"}",
                       {20, 100});
}

/* Three disks with a gap in their numbers: an NVMe SSD under C:, a SATA
 * hard disk, and a USB disk that says nothing of its media and refuses its
 * counters. */
static void script_disks()
{
    fake_physical_disk_t ssd, hdd, usb;
    ssd.number = 0;
    ssd.descriptor = fake_storage_descriptor("", "Fast SSD 970", "S5H9NS0N123456", 17);
    ssd.seek_penalty = 0;
    ssd.size = INT64_C(512110190592);
    ssd.has_counters = true;
    ssd.counters = fake_disk_counters_t{INT64_C(81604378624),
                                        INT64_C(40802189312),
                                        123456789,
                                        98765432,
                                        INT64_C(17280000000000),
                                        1200000,
                                        800000,
                                        2,
                                        31};
    hdd.number = 1;
    hdd.descriptor = fake_storage_descriptor("ATA", "Spinner 4TB", "  WD-WX12345 ", 11);
    hdd.seek_penalty = 1;
    hdd.size = INT64_C(4000787030016);
    hdd.has_counters = true;
    hdd.counters = fake_disk_counters_t{INT64_C(9007199254740993), 0, 0, 0, 0, 0, 0, 0, 0};
    usb.number = 3;
    usb.descriptor = fake_storage_descriptor("Stick", "Ultra \"2\"", nullptr, 7);
    usb.size = INT64_C(64023257088);
    fake_set_physical_disks({ssd, hdd, usb});
}

/* Two monitors side by side at their own rates and scales, one battery
 * that knows everything, and thermal zones behind the WMI ones. */
static void script_devices()
{
    fake_add_display({"DELL U2720Q", 3840, 2160, 0, 0, 59950, 1000, 1, 10, 144, 0, 0});
    fake_add_display({"", 1920, 1080, 3840, 0, 144000, 1000, 1, 0x80000000u, 120, 0, 0});
    fake_add_battery({7,
                      true,
                      "",
                      fake_battery_status(2, 42000, 12100, -8312),
                      {{0, fake_battery_information(0, "LION", 54000, 49000, 312)},
                       {4, fake_battery_text("DELL 1VX1H93")},
                       {6, fake_battery_text("SMP")},
                       {8, fake_battery_text("1234")}}});
    fake_pdh_instances("\\Thermal Zone Information(*)\\Temperature", {{318.0, 0}, {301.0, 0}});
    fake_add_display_adapter({"PCI\\VEN_10DE&DEV_128B&SUBSYS_118B10DE&REV_A1\\4&2F3A1B2C&0&0008",
                              "", "NVIDIA GeForce GT 710",
                              "{4d36e968-e325-11ce-bfc1-08002be10318}\\0000",
                              "PCI\\VEN_10DE&DEV_128B&SUBSYS_118B10DE&REV_A1"});
    fake_add_display_adapter({"PCI\\VEN_8086&DEV_9BC4&SUBSYS_09C41028&REV_05\\3&11583659&0&10",
                              "Intel(R) UHD Graphics 630", "Intel(R) UHD Graphics",
                              "{4D36E968-E325-11CE-BFC1-08002BE10318}\\0002",
                              "PCI\\VEN_8086&DEV_9BC4&SUBSYS_09C41028&REV_05"});
}

void script_machine()
{
    fake_set_tick_count(200000000);
    fake_set_system_time(UINT64_C(116444736000000000) + UINT64_C(17040672000000000));
    script_registry();
    script_processors();
    script_firmware();
    script_wmi();
    script_network();
    script_environment();
    script_disks();
    script_devices();
}
