/*
 * The display: the current mode of EnumDisplaySettingsW, the devices of
 * EnumDisplayDevicesW, the display configuration, and the monitors' DPI
 * with each thread's DPI awareness context.
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
    std::vector<hl_port_display_path_t> paths;
    std::vector<hl_port_display_mode_t> modes;
    std::vector<std::string> names; /* by target id */
    std::vector<uint32_t> dpis;     /* by source mode index */
    int grow;
    bool set_context, get_dpi, v2;
} d;

const intptr_t OWN_CONTEXT = 0x11;
/* The thread's context; 0 stands for its own. */
thread_local intptr_t thread_context;

const long ERROR_INSUFFICIENT_BUFFER_CODE = 122;
const long ERROR_INVALID_PARAMETER_CODE = 87;
const long ERROR_NOT_SUPPORTED_CODE = 50;

void reset_display()
{
    d.ok = true;
    d.width = 1920;
    d.height = 1080;
    d.hz = 60;
    d.devices.clear();
    d.paths.clear();
    d.modes.clear();
    d.names.clear();
    d.dpis.clear();
    d.grow = 0;
    d.set_context = true;
    d.get_dpi = true;
    d.v2 = true;
}

bool per_monitor(intptr_t context)
{
    return context == HL_DPI_PER_MONITOR_AWARE_V2 || context == HL_DPI_PER_MONITOR_AWARE;
}

intptr_t current_context()
{
    return thread_context != 0 ? thread_context : OWN_CONTEXT;
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

void fake_add_display(const fake_display_t &disp)
{
    uint32_t i = (uint32_t)d.paths.size();
    hl_port_display_path_t p = {};
    p.source_adapter = p.target_adapter = UINT64_C(0x0000000100000042);
    p.source_id = i;
    p.source_mode = 2 * i;
    p.target_id = 0x1000 + i;
    p.target_mode = 2 * i + 1;
    p.output_technology = disp.technology;
    p.rotation = disp.rotation;
    p.refresh_numerator = disp.refresh_numerator;
    p.refresh_denominator = disp.refresh_denominator;
    p.flags = 1; /* DISPLAYCONFIG_PATH_ACTIVE */
    hl_port_display_mode_t source = {}, target = {};
    source.type = 1;
    source.id = i;
    source.adapter = p.source_adapter;
    source.width = disp.width;
    source.height = disp.height;
    source.x = disp.x;
    source.y = disp.y;
    target.type = 2;
    target.id = p.target_id;
    target.adapter = p.target_adapter;
    target.vsync_numerator = disp.vsync_numerator;
    target.vsync_denominator = disp.vsync_denominator;
    d.paths.push_back(p);
    d.modes.push_back(source);
    d.modes.push_back(target);
    if (d.names.size() <= i)
        d.names.resize(i + 1);
    d.names[i] = disp.name;
    d.dpis.resize(d.modes.size());
    d.dpis[2 * i] = disp.dpi;
}

void fake_set_display_records(const std::vector<hl_port_display_path_t> &paths,
                              const std::vector<hl_port_display_mode_t> &modes)
{
    d.paths = paths;
    d.modes = modes;
    d.names.assign(paths.size(), "Monitor");
    d.dpis.assign(modes.size(), 96);
}

void fake_display_grow(int n)
{
    d.grow = n;
}

void fake_set_dpi_functions(bool set_context, bool get_dpi, bool v2)
{
    d.set_context = set_context;
    d.get_dpi = get_dpi;
    d.v2 = v2;
}

intptr_t fake_dpi_context()
{
    return current_context();
}

long hl_port_display_config_sizes(uint32_t *paths, uint32_t *modes)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_DISPLAY_CONFIG_SIZES, &code, ERROR_NOT_SUPPORTED_CODE))
        return code;
    *paths = (uint32_t)d.paths.size();
    *modes = (uint32_t)d.modes.size();
    if (d.grow > 0 && !d.paths.empty()) {
        d.grow--;
        size_t last = d.paths.size() - 1;
        hl_port_display_path_t p = d.paths[last];
        p.source_mode = (uint32_t)d.modes.size();
        p.target_mode = (uint32_t)d.modes.size() + 1;
        hl_port_display_mode_t source = d.modes[2 * last], target = d.modes[2 * last + 1];
        d.paths.push_back(p);
        d.modes.push_back(source);
        d.modes.push_back(target);
        d.names.push_back(d.names[last]);
        d.dpis.push_back(d.dpis[2 * last]);
        d.dpis.push_back(0);
    }
    return 0;
}

long hl_port_display_config(uint32_t *path_count, hl_port_display_path_t *paths,
                            uint32_t *mode_count, hl_port_display_mode_t *modes)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_DISPLAY_CONFIG, &code, ERROR_INVALID_PARAMETER_CODE))
        return code;
    if (*path_count < d.paths.size() || *mode_count < d.modes.size())
        return ERROR_INSUFFICIENT_BUFFER_CODE;
    for (size_t i = 0; i < d.paths.size(); i++)
        paths[i] = d.paths[i];
    for (size_t i = 0; i < d.modes.size(); i++)
        modes[i] = d.modes[i];
    *path_count = (uint32_t)d.paths.size();
    *mode_count = (uint32_t)d.modes.size();
    return 0;
}

long hl_port_display_target_name(uint64_t, uint32_t target_id, char16_t *name)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_DISPLAY_TARGET_NAME, &code, ERROR_INVALID_PARAMETER_CODE))
        return code;
    size_t i = 0;
    while (i < d.paths.size() && d.paths[i].target_id != target_id)
        i++;
    if (i == d.paths.size())
        return ERROR_INVALID_PARAMETER_CODE;
    std::u16string text = i < d.names.size() ? fake_u16(d.names[i].c_str()) : u"";
    /* The field's 64 units, filled up to its last one when the name is long. */
    for (size_t k = 0; k < 64; k++)
        name[k] = k < text.size() ? text[k] : 0;
    return 0;
}

int hl_port_dpi_context_set(intptr_t context, intptr_t *previous)
{
    FAKE_GUARD;
    intptr_t was = current_context();
    /* Going back to the thread's own context cannot fail: only the change
     * away from it can be failed. */
    if (context == OWN_CONTEXT)
        fake_count(FAKE_DPI_CONTEXT_SET);
    else if (fake_hit(FAKE_DPI_CONTEXT_SET))
        return 0;
    if (!d.set_context || context == 0 || (context == HL_DPI_PER_MONITOR_AWARE_V2 && !d.v2))
        return 0;
    if (was == OWN_CONTEXT && context != OWN_CONTEXT)
        fake_acquire(FAKE_RES_DPI_CONTEXT);
    else if (was != OWN_CONTEXT && context == OWN_CONTEXT)
        fake_release(FAKE_RES_DPI_CONTEXT);
    thread_context = context == OWN_CONTEXT ? 0 : context;
    *previous = was;
    return 1;
}

hl_handle_t hl_port_monitor_at(int32_t x, int32_t y)
{
    FAKE_GUARD;
    if (!per_monitor(current_context()))
        fake_note_misuse();
    if (fake_hit(FAKE_MONITOR_AT))
        return nullptr;
    for (size_t i = 0; i < d.modes.size(); i++) {
        const hl_port_display_mode_t &m = d.modes[i];
        if (m.type == 1 && x >= m.x && y >= m.y && (int64_t)x < (int64_t)m.x + m.width &&
            (int64_t)y < (int64_t)m.y + m.height)
            return (hl_handle_t)(uintptr_t)(0x5000 + i);
    }
    return nullptr;
}

int32_t hl_port_monitor_dpi(hl_handle_t monitor, uint32_t *dpi_x, uint32_t *dpi_y)
{
    FAKE_GUARD;
    long code = 0;
    if (!per_monitor(current_context()))
        fake_note_misuse();
    if (fake_hit(FAKE_MONITOR_DPI, &code, (long)(int32_t)0x80070057u))
        return (int32_t)code;
    if (!d.get_dpi)
        return (int32_t)0x80004001u; /* E_NOTIMPL */
    size_t i = (size_t)((uintptr_t)monitor - 0x5000);
    if (i >= d.dpis.size() || d.dpis[i] == 0)
        return (int32_t)0x80070057u; /* E_INVALIDARG */
    *dpi_x = *dpi_y = d.dpis[i];
    return 0;
}
