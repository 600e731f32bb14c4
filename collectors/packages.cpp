/*
 * Installed programs: the machine-wide uninstall lists of both registry
 * views, counting the entries that show a display name.
 */
#include "hostlens_internal.h"

#include "hl_access.h"
#include "hl_port.h"

#include <string.h>

#define SUBKEY_UNITS 256
#define DISPLAY_NAME_BYTES 1024

static int64_t count_uninstall(const char16_t *subkey, uint32_t view_flag)
{
    uint32_t access = HL_KEY_READ | view_flag;
    hl_hkey_t list = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, subkey, access, &list) != 0)
        return 0;
    int64_t count = 0;
    for (uint32_t index = 0;; index++) {
        char16_t name[SUBKEY_UNITS];
        uint32_t name_len = SUBKEY_UNITS;
        if (hl_port_reg_enum_key(list, index, name, &name_len) != 0)
            break;
        name[name_len < SUBKEY_UNITS ? name_len : SUBKEY_UNITS - 1] = 0;
        hl_hkey_t entry = 0;
        if (hl_port_reg_open(list, name, access, &entry) != 0)
            continue;
        char16_t display[DISPLAY_NAME_BYTES / 2];
        memset(display, 0, sizeof display);
        uint32_t size = DISPLAY_NAME_BYTES, type = 0;
        /* A name longer than the buffer answers ERROR_MORE_DATA and is not
         * counted; the type is not examined. */
        if (hl_port_reg_query(entry, u"DisplayName", &type, display, &size) == 0 && display[0] != 0)
            count++;
        hl_port_reg_close(entry);
    }
    hl_port_reg_close(list);
    return count;
}

void hl_impl_packages(hl_packages_info_t *out)
{
    memset(out, 0, sizeof *out);
    int64_t a = count_uninstall(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                HL_KEY_WOW64_64KEY);
    int64_t b =
        count_uninstall(u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                        HL_KEY_WOW64_32KEY);
    out->total = a + b;
    hl_format(out->managers, sizeof out->managers, "windows: %lld", (long long)out->total);
}
