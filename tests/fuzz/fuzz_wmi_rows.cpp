/*
 * WMI rows of any variant type and value: video controllers, batteries and
 * thermal zones whose properties are missing, VT_NULL, integers of any
 * variant type, or strings of any UTF-16, with display devices of any
 * name. Every variant is cleared and every object
 * released whatever the rows hold.
 */
#include "fuzz_util.h"

#include <string>

static std::u16string any_text(fuzz_input &in)
{
    std::u16string s(in.u8() % 80, u'\0');
    for (char16_t &c : s)
        c = (char16_t)in.u16();
    return s;
}

static void any_property(fuzz_input &in, int row, const char *name)
{
    uint8_t kind = in.u8();
    switch (kind % 4) {
    case 0:
        break; /* not in the row */
    case 1:
        fake_wmi_null(row, name);
        break;
    case 2: {
        uint16_t vt = kind & 0x80 ? in.u16() : (uint16_t)(2 + in.u8() % 20);
        int64_t num = (int64_t)((uint64_t)in.u32() | (uint64_t)in.u32() << 32);
        fake_wmi_num(row, name, vt, num);
        break;
    }
    default:
        fake_wmi_str16(row, name, any_text(in));
        break;
    }
}

static void check_list(const nlohmann::ordered_json &list, std::initializer_list<const char *> keys)
{
    for (const auto &e : list) {
        must_have_keys(e, keys);
        for (const auto &v : e)
            if (v.is_string() && v.get<std::string>().empty())
                abort();
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_gpu(); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    fake_reset();
    int gpus = in.u8() % 6;
    for (int i = 0; i < gpus; i++) {
        int r = fake_wmi_row("root\\cimv2", "Win32_VideoController");
        any_property(in, r, "Name");
        any_property(in, r, "AdapterRAM");
        any_property(in, r, "DriverVersion");
    }
    int devices = in.u8() % 4;
    for (int i = 0; i < devices; i++) {
        std::u16string name = any_text(in);
        std::string utf8 = fake_u8(name.c_str());
        fake_add_display_device(utf8.c_str(), in.u32());
    }
    int batteries = in.u8() % 4;
    for (int i = 0; i < batteries; i++) {
        int r = fake_wmi_row("root\\cimv2", "Win32_Battery");
        any_property(in, r, "Name");
        any_property(in, r, "BatteryStatus");
        any_property(in, r, "EstimatedChargeRemaining");
    }
    int zones = in.u8() % 4;
    for (int i = 0; i < zones; i++)
        any_property(in, fake_wmi_row("root\\WMI", "MSAcpi_ThermalZoneTemperature"),
                     "CurrentTemperature");

    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json gpu = must_be_module(hostlens_gpu(), "gpu", true);
    nlohmann::ordered_json battery = must_be_module(hostlens_battery(), "battery", true);
    nlohmann::ordered_json temp = must_be_module(hostlens_cpu_temp(), "cpu_temp");
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released() || fake_wmi_misuse() != 0)
        abort();
    check_list(gpu, {"vendor", "model", "vram_mb", "driver_version", "output_count"});
    if (battery.size() > (size_t)batteries)
        abort();
    must_have_keys(temp, {"celsius"});
    if (!temp["celsius"].is_number())
        abort();
    check_list(battery, {"model", "percent", "power_plugged", "state", "time_remaining_seconds"});
    return 0;
}
