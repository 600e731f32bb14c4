/*
 * Display adapters: Win32_VideoController, or the display devices when WMI
 * has none; memory beyond AdapterRAM's 4 GiB from the adapter's own driver
 * instance key, and a missing driver version from the display-adapter class
 * key; the output count from the display devices.
 */
#include "hostlens_internal.h"

#include "hl_access.h"
#include "hl_adapter.h"

#include <ctype.h>
#include <string.h>

#define HL_DISPLAY_DEVICE_ATTACHED_TO_DESKTOP 0x1u
#define HL_DISPLAY_DEVICE_REMOVABLE 0x20u

static const char16_t DISPLAY_CLASS_KEY[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";

/* The WMI rows and, beside each, its device instance path ("PNPDeviceID"),
 * or "" when WMI gave none. */
typedef struct gpu_rows_t {
    hl_gpu_list_t *list;
    char device[HL_GPU_MAX][256];
    int own_instance[HL_GPU_MAX]; /* the device's own driver instance was read */
} gpu_rows_t;

/* 1 when word occurs in text, ASCII letters compared without case. */
static int ci_find(const char *text, const char *word)
{
    if (text[0] == '\0')
        return 0;
    if (word[0] == '\0')
        return 1;
    for (const char *start = text; *start != '\0'; start++) {
        size_t i = 0;
        while (word[i] != '\0' && start[i] != '\0' &&
               tolower((unsigned char)start[i]) == tolower((unsigned char)word[i]))
            i++;
        if (word[i] == '\0')
            return 1;
    }
    return 0;
}

static void set_vendor(hl_gpu_info_t *g)
{
    const char *vendor = "unknown";
    if (ci_find(g->model, "nvidia"))
        vendor = "NVIDIA";
    else if (ci_find(g->model, "intel"))
        vendor = "Intel";
    else if (ci_find(g->model, "amd") || ci_find(g->model, "radeon"))
        vendor = "AMD";
    hl_copy(g->vendor, sizeof g->vendor, vendor);
}

/* "AdapterRAM" is a uint32 that WMI hands over as VT_I4: 2 GiB and more
 * arrive negative and are read back as the unsigned value. */
static int64_t vram_mb(int64_t value, int present)
{
    if (!present)
        return -1;
    if (value < 0 && value >= INT32_MIN)
        value = (int64_t)(uint32_t)(int32_t)value;
    return value > 0 ? value >> 20 : -1;
}

static void gpu_row(hl_handle_t row, void *ctx)
{
    gpu_rows_t *rows = (gpu_rows_t *)ctx;
    hl_gpu_list_t *list = rows->list;
    if (list->count >= HL_GPU_MAX)
        return;
    hl_gpu_info_t *g = &list->gpus[list->count];
    char *device = rows->device[list->count];
    device[0] = '\0';
    wmi_get_str(row, "PNPDeviceID", device, (int)sizeof rows->device[0]);
    if (strcmp(device, "unknown") == 0)
        device[0] = '\0';
    wmi_get_str(row, "Name", g->model, (int)sizeof g->model);
    wmi_get_str(row, "DriverVersion", g->driver_version, (int)sizeof g->driver_version);
    /* A sentinel no 32-bit value can take tells a missing property apart. */
    int64_t value = INT64_MIN;
    wmi_get_num(row, "AdapterRAM", &value);
    g->vram_mb = vram_mb(value, value != INT64_MIN);
    set_vendor(g);
    g->output_count = -1;
    list->count++;
}

static void from_display_devices(hl_gpu_list_t *list)
{
    for (uint32_t i = 0;; i++) {
        char16_t name[128] = {0};
        uint32_t flags = 0;
        if (!hl_port_display_device(i, name, &flags))
            return;
        if (flags & HL_DISPLAY_DEVICE_REMOVABLE)
            continue;
        if (list->count >= HL_GPU_MAX)
            return;
        hl_gpu_info_t *g = &list->gpus[list->count];
        w2s(name, g->model, (int)sizeof g->model);
        set_vendor(g);
        g->vram_mb = -1;
        g->output_count = -1;
        list->count++;
    }
}

static int64_t attached_outputs(void)
{
    int64_t n = 0;
    for (uint32_t i = 0;; i++) {
        char16_t name[128] = {0};
        uint32_t flags = 0;
        if (!hl_port_display_device(i, name, &flags))
            return n;
        if (flags & HL_DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)
            n++;
    }
}

/* The first non-empty "DriverVersion" among the adapter instances of the
 * class key: for an adapter whose own instance cannot be found. */
static void driver_from_class_key(char *out, int size)
{
    hl_hkey_t cls = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, DISPLAY_CLASS_KEY, HL_KEY_READ, &cls) != 0)
        return;
    for (uint32_t j = 0;; j++) {
        /* Instance keys are four digits; a longer name ends the walk. */
        char16_t name[12];
        uint32_t name_len = 12;
        if (hl_port_reg_enum_key(cls, j, name, &name_len) != 0)
            break;
        hl_hkey_t sub = 0;
        if (hl_port_reg_open(cls, name, HL_KEY_READ, &sub) != 0)
            continue;
        /* One unit more than the 256 bytes asked for: data that fills them
         * without a NUL still ends inside the buffer. */
        char16_t data[129] = {0};
        uint32_t data_size = 256;
        long rc = hl_port_reg_query(sub, u"DriverVersion", NULL, data, &data_size);
        hl_port_reg_close(sub);
        if (rc == 0 && data[0] != 0) {
            w2s(data, out, size);
            break;
        }
    }
    hl_port_reg_close(cls);
}

/* A driver version WMI left empty ("unknown"), from the instance. */
static void take_driver_version(hl_gpu_info_t *g, hl_hkey_t instance)
{
    char version[128] = {0};
    if (strcmp(g->driver_version, "unknown") == 0 &&
        reg_key_str(instance, u"DriverVersion", version, sizeof version) && version[0] != '\0')
        hl_copy(g->driver_version, sizeof g->driver_version, version);
}

/* The larger of AdapterRAM and the driver's figure. */
static void take_memory(hl_gpu_info_t *g, hl_hkey_t instance)
{
    int64_t mb = (int64_t)(hl_adapter_instance_memory(instance) >> 20);
    if (mb > 0 && mb > g->vram_mb)
        g->vram_mb = mb;
}

/* The display class subkey of the device `device` (a PNPDeviceID): the
 * device's "Driver" value under the Enum key names its driver instance as
 * "{class GUID}\\NNNN". 1 with the subkey's name in `name`. */
static int own_instance_name(const char *device, char16_t *name, int name_units)
{
    /* The device path holds at most 255 bytes: the whole path fits. */
    char path[320];
    hl_format(path, sizeof path, "SYSTEM\\CurrentControlSet\\Enum\\%s", device);
    char16_t wpath[320];
    int n = hl_port_utf8_to_utf16(path, -1, wpath, 320);
    if (n <= 0)
        return 0;
    char driver[128] = {0};
    if (!reg_getstr(HL_HKEY_LOCAL_MACHINE, wpath, u"Driver", driver, sizeof driver))
        return 0;
    char sub[32];
    if (!hl_adapter_driver_subkey(driver, strlen(driver), sub, sizeof sub))
        return 0;
    return hl_port_utf8_to_utf16(sub, -1, name, name_units) > 0;
}

/* "AdapterRAM" is a uint32 and cannot tell 4 GiB or more; the driver's own
 * figure can, in the adapter's instance key under the display class key. The
 * class key also keeps the instances of devices that are gone (an old card,
 * one moved to another slot, a reinstalled driver), so each adapter first
 * takes the instance its device names. An adapter whose instance cannot be
 * found takes the first key not yet served whose "DriverDesc" equals its
 * name, so several adapters of one name take their keys in order. The
 * figure is used when it is larger. The own instance also gives a driver
 * version WMI left empty. */
static void memory_from_class_key(gpu_rows_t *rows)
{
    hl_gpu_list_t *list = rows->list;
    hl_hkey_t cls = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, DISPLAY_CLASS_KEY, HL_KEY_READ, &cls) != 0)
        return;
    int served[HL_GPU_MAX] = {0};
    char16_t owned[HL_GPU_MAX][32];
    int left = list->count;
    for (int32_t i = 0; i < list->count; i++) {
        owned[i][0] = 0;
        hl_hkey_t instance = 0;
        if (rows->device[i][0] == '\0' || !own_instance_name(rows->device[i], owned[i], 32) ||
            hl_port_reg_open(cls, owned[i], HL_KEY_READ, &instance) != 0) {
            owned[i][0] = 0;
            continue;
        }
        served[i] = 1;
        rows->own_instance[i] = 1;
        left--;
        take_memory(&list->gpus[i], instance);
        take_driver_version(&list->gpus[i], instance);
        hl_port_reg_close(instance);
    }
    for (uint32_t j = 0; left > 0; j++) {
        /* Room for any key name (255 units): "Configuration" and the like
         * are skipped, not the end of the walk. */
        char16_t name[256];
        uint32_t name_len = 256;
        if (hl_port_reg_enum_key(cls, j, name, &name_len) != 0)
            break;
        int taken = 0;
        for (int32_t i = 0; i < list->count && !taken; i++)
            taken = owned[i][0] != 0 && hl_u16_same(owned[i], name);
        hl_hkey_t instance = 0;
        if (taken || hl_port_reg_open(cls, name, HL_KEY_READ, &instance) != 0)
            continue;
        char desc[256];
        desc[0] = '\0';
        reg_key_str(instance, u"DriverDesc", desc, sizeof desc);
        for (int32_t i = 0; desc[0] != '\0' && i < list->count; i++) {
            hl_gpu_info_t *g = &list->gpus[i];
            if (served[i] || strcmp(g->model, desc) != 0)
                continue;
            served[i] = 1;
            left--;
            take_memory(g, instance);
            break;
        }
        hl_port_reg_close(instance);
    }
    hl_port_reg_close(cls);
}

void hl_impl_gpu(hl_gpu_list_t *out)
{
    hl_impl_init();
    memset(out, 0, sizeof *out);
    gpu_rows_t rows;
    memset(&rows, 0, sizeof rows);
    rows.list = out;
    wmi_query("root\\cimv2",
              "SELECT Name, AdapterRAM, DriverVersion, PNPDeviceID FROM Win32_VideoController",
              gpu_row, &rows);
    if (out->count > 0)
        memory_from_class_key(&rows);
    else
        from_display_devices(out);
    /* Every entry reports the same number: one walk of the display devices
     * serves them all. */
    int64_t outputs = -1;
    for (int32_t i = 0; i < out->count; i++) {
        hl_gpu_info_t *g = &out->gpus[i];
        if (g->output_count < 0) {
            if (outputs < 0)
                outputs = attached_outputs();
            g->output_count = outputs;
        }
        /* An empty WMI string reads "unknown"; a missing one stays empty and
         * is not looked up. An adapter's own instance has given its version
         * above where it had one; the class key's first version, which may
         * be a card that is gone, serves only where that instance was not
         * found. */
        if (strcmp(g->driver_version, "unknown") == 0 && !rows.own_instance[i])
            driver_from_class_key(g->driver_version, (int)sizeof g->driver_version);
    }
}
