/*
 * Every battery's wear, from its own device: the interfaces of the battery
 * class through SetupAPI, and the battery class driver's IOCTLs on each. No
 * WMI and no administrator.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_battery.h"
#include "hl_port.h"

#define PATH_UNITS 260u
/* A device path is a file name: the system's own limit. */
#define PATH_UNITS_MAX 32768u
#define INFORMATION_ROOM 64u
#define TEXT_ROOM 512u /* MAX_BATTERY_STRING_SIZE characters, and more */

static void put32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

/* IOCTL_BATTERY_QUERY_INFORMATION at `level` (BATTERY_QUERY_INFORMATION:
 * tag, level, AtRate 0): the bytes written, 0 on failure. */
static uint32_t query_information(hl_handle_t file, uint32_t tag, uint32_t level, void *out,
                                  uint32_t size)
{
    uint8_t in[12];
    memset(in, 0, sizeof in);
    put32(in, tag);
    put32(in + 4, level);
    uint32_t got = 0;
    if (!hl_port_battery_ioctl(file, HL_IOCTL_BATTERY_QUERY_INFORMATION, in, sizeof in, out, size,
                               &got))
        return 0;
    return got <= size ? got : size;
}

static void query_text(hl_handle_t file, uint32_t tag, uint32_t level, char *out, size_t size)
{
    uint8_t text[TEXT_ROOM];
    uint32_t got = query_information(file, tag, level, text, sizeof text);
    hl_battery_read_text(text, got, out, size);
}

/* One opened battery device: nothing when no battery sits in its slot (the
 * tag is 0), else one entry. 0 when the list could not grow. */
static int read_battery(hl_handle_t file, hl_battery_health_list_t *out)
{
    uint32_t wait = 0, tag = 0, got = 0;
    /* A wait of 0: answer at once, with the tag or with no battery. */
    if (!hl_port_battery_ioctl(file, HL_IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &tag,
                               sizeof tag, &got) ||
        got < sizeof tag || tag == 0)
        return 1;
    if (!hl_list_reserve((void **)&out->items, &out->capacity, out->count + 1, sizeof *out->items))
        return 0;
    hl_battery_health_t *b = &out->items[out->count++];
    hl_battery_health_unknown(b);

    uint8_t info[INFORMATION_ROOM];
    /* Until the information says otherwise the rate's unit is not known:
     * a battery of relative figures would have its rate read as mW. */
    uint32_t capabilities = HL_BATTERY_CAPACITY_RELATIVE;
    uint32_t n = query_information(file, tag, HL_BATTERY_INFORMATION, info, sizeof info);
    hl_battery_read_information(info, n, b, &capabilities);

    /* BATTERY_WAIT_STATUS with only the tag set: the status now, no wait. */
    uint8_t in[20], status[HL_BATTERY_STATUS_SIZE];
    memset(in, 0, sizeof in);
    put32(in, tag);
    got = 0;
    if (hl_port_battery_ioctl(file, HL_IOCTL_BATTERY_QUERY_STATUS, in, sizeof in, status,
                              sizeof status, &got))
        hl_battery_read_status(status, got <= sizeof status ? got : sizeof status, capabilities, b);

    query_text(file, tag, HL_BATTERY_DEVICE_NAME, b->name, sizeof b->name);
    query_text(file, tag, HL_BATTERY_MANUFACTURE_NAME, b->manufacturer, sizeof b->manufacturer);
    query_text(file, tag, HL_BATTERY_SERIAL_NUMBER, b->serial, sizeof b->serial);
    return 1;
}

void hl_impl_battery_health(hl_battery_health_list_t *out)
{
    memset(out, 0, sizeof *out);
    hl_handle_t set = NULL;
    if (!hl_port_battery_devices(&set))
        return;
    char16_t small[PATH_UNITS];
    char16_t *path = small, *large = NULL;
    uint32_t units = PATH_UNITS;
    /* The enumeration ends where the platform says it does. */
    for (uint32_t index = 0;; index++) {
        uint32_t needed = 0;
        int r = hl_port_battery_path(set, index, path, units, &needed);
        if (r == HL_BATTERY_PATH_SMALL && needed > units && needed <= PATH_UNITS_MAX) {
            hl_port_free(large);
            large = (char16_t *)hl_port_alloc((size_t)needed * sizeof(char16_t));
            if (large == NULL) {
                out->failed = 1;
                break;
            }
            path = large;
            units = needed;
            r = hl_port_battery_path(set, index, path, units, &needed);
        }
        if (r == HL_BATTERY_PATH_END)
            break;
        if (r == HL_BATTERY_PATH_NO_MEMORY) {
            out->failed = 1;
            break;
        }
        if (r != HL_BATTERY_PATH_OK)
            continue;
        path[units - 1] = 0;
        hl_handle_t file = NULL;
        if (!hl_port_battery_open(path, &file))
            continue;
        int ok = read_battery(file, out);
        hl_port_battery_close(file);
        if (!ok) {
            out->failed = 1;
            break;
        }
    }
    hl_port_free(large);
    hl_port_battery_devices_close(set);
}
