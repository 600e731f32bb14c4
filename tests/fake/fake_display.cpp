/*
 * The display: the current mode of EnumDisplaySettingsW and the devices of
 * EnumDisplayDevicesW.
 */
#include "fake.h"

#include <string.h>

namespace
{

struct device {
    std::u16string text;
    uint32_t flags;
};

struct {
    bool ok;
    uint32_t width, height, hz;
    std::vector<device> devices;
} d;

void reset_display()
{
    d.ok = true;
    d.width = 1920;
    d.height = 1080;
    d.hz = 60;
    d.devices.clear();
}

fake_registrar registrar(reset_display);

} // namespace

void fake_set_display_settings(bool ok, uint32_t width, uint32_t height, uint32_t hz)
{
    d.ok = ok;
    d.width = width;
    d.height = height;
    d.hz = hz;
}

void fake_add_display_device(const char *device_string, uint32_t state_flags)
{
    std::u16string s = fake_u16(device_string);
    if (s.size() > 127)
        s.resize(127);
    d.devices.push_back(device{s, state_flags});
}

int hl_port_display_settings(uint32_t *width, uint32_t *height, uint32_t *hz)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_DISPLAY_SETTINGS) || !d.ok)
        return 0;
    *width = d.width;
    *height = d.height;
    *hz = d.hz;
    return 1;
}

int hl_port_display_device(uint32_t index, char16_t *device_string, uint32_t *state_flags)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_DISPLAY_DEVICE) || index >= d.devices.size())
        return 0;
    const device &dev = d.devices[index];
    memcpy(device_string, dev.text.c_str(), (dev.text.size() + 1) * sizeof(char16_t));
    *state_flags = dev.flags;
    return 1;
}
