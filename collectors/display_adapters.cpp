/*
 * Display adapters without WMI: the present devices of the display adapter
 * class (SetupAPI), each with the instance key its driver key names under
 * the display class key. The class key also keeps the instances of adapters
 * that are gone; only those a present device names are read.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_access.h"
#include "hl_adapter.h"
#include "hl_port.h"

#define SPDRP_DEVICEDESC 0x0u
#define SPDRP_HARDWAREID 0x1u
#define SPDRP_DRIVER 0x9u
#define SPDRP_FRIENDLYNAME 0xCu

/* Room for any device text: instance IDs stop at 200 characters, names and
 * driver keys are shorter. */
#define TEXT_UNITS 512u

static const char16_t DISPLAY_CLASS_KEY[] = u"SYSTEM\\CurrentControlSet\\Control\\Class\\"
                                            u"{4d36e968-e325-11ce-bfc1-08002be10318}";

/* One text of the device as UTF-8 into out (size bytes): 1 when the device
 * has it, else out is "". */
static int device_text(hl_handle_t set, uint32_t index, uint32_t property, char *out, int size)
{
    char16_t text[TEXT_UNITS];
    out[0] = '\0';
    if (hl_port_display_adapter_text(set, index, property, text, TEXT_UNITS) != HL_DEVICE_TEXT_OK)
        return 0;
    text[TEXT_UNITS - 1] = 0;
    w2s(text, out, size);
    if (strcmp(out, "unknown") == 0)
        out[0] = '\0';
    return out[0] != '\0';
}

/* What the driver's instance key adds: the name it installed under, where
 * the device has none; the memory; the driver version. */
static void read_instance(hl_hkey_t cls, const char *driver, hl_display_adapter_t *a)
{
    char sub[32];
    char16_t wsub[32];
    hl_hkey_t instance = 0;
    if (cls == 0 || !hl_adapter_driver_subkey(driver, strlen(driver), sub, sizeof sub) ||
        hl_port_utf8_to_utf16(sub, -1, wsub, 32) <= 0 ||
        hl_port_reg_open(cls, wsub, HL_KEY_READ, &instance) != 0)
        return;
    if (strcmp(a->name, "unknown") == 0 &&
        (!reg_key_str(instance, u"DriverDesc", a->name, sizeof a->name) || a->name[0] == '\0'))
        hl_copy(a->name, sizeof a->name, "unknown");
    uint64_t bytes = hl_adapter_instance_memory(instance);
    if (bytes >> 20 != 0)
        a->vram_mb = (int64_t)(bytes >> 20);
    if (!reg_key_str(instance, u"DriverVersion", a->driver_version, sizeof a->driver_version) ||
        a->driver_version[0] == '\0')
        hl_copy(a->driver_version, sizeof a->driver_version, "unknown");
    hl_port_reg_close(instance);
}

void hl_impl_display_adapters(hl_display_adapter_list_t *out)
{
    memset(out, 0, sizeof *out);
    hl_handle_t set = NULL;
    if (!hl_port_display_adapters(&set))
        return;
    hl_hkey_t cls = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, DISPLAY_CLASS_KEY, HL_KEY_READ, &cls) != 0)
        cls = 0;
    /* The enumeration ends where the platform says it does. */
    for (uint32_t index = 0;; index++) {
        char device[256];
        char16_t probe[TEXT_UNITS];
        int r = hl_port_display_adapter_text(set, index, HL_DEVICE_INSTANCE_ID, probe, TEXT_UNITS);
        if (r == HL_DEVICE_TEXT_END)
            break;
        if (!hl_list_reserve((void **)&out->items, &out->capacity, out->count + 1,
                             sizeof *out->items)) {
            out->failed = 1;
            break;
        }
        hl_display_adapter_t *a = &out->items[out->count++];
        memset(a, 0, sizeof *a);
        hl_copy(a->device, sizeof a->device, "unknown");
        hl_copy(a->name, sizeof a->name, "unknown");
        hl_copy(a->driver_version, sizeof a->driver_version, "unknown");
        a->vram_mb = -1;
        if (r == HL_DEVICE_TEXT_OK) {
            probe[TEXT_UNITS - 1] = 0;
            w2s(probe, device, (int)sizeof device);
            hl_copy(a->device, sizeof a->device, device);
        }
        /* The name Device Manager shows: a friendly name where the driver
         * set one, else the device's description. */
        if (!device_text(set, index, SPDRP_FRIENDLYNAME, a->name, (int)sizeof a->name) &&
            !device_text(set, index, SPDRP_DEVICEDESC, a->name, (int)sizeof a->name))
            hl_copy(a->name, sizeof a->name, "unknown");
        char driver[128];
        if (device_text(set, index, SPDRP_DRIVER, driver, (int)sizeof driver))
            read_instance(cls, driver, a);
        char hardware[256];
        device_text(set, index, SPDRP_HARDWAREID, hardware, (int)sizeof hardware);
        const char *name = strcmp(a->name, "unknown") == 0 ? "" : a->name;
        hl_copy(a->vendor, sizeof a->vendor, hl_adapter_vendor(hardware, strlen(hardware), name));
    }
    if (cls != 0)
        hl_port_reg_close(cls);
    hl_port_display_adapters_close(set);
}
