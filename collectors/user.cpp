/*
 * The account, the host name, the system locale and the process count.
 */
#include "hostlens_internal.h"

#include "hl_access.h"
#include "hl_port.h"

#include <string.h>

#define NAME_UNITS 256
#define LOCALE_UNITS 64

void hl_impl_user(hl_user_info_t *out)
{
    memset(out, 0, sizeof *out);
    char16_t buffer[NAME_UNITS];

    memset(buffer, 0, sizeof buffer);
    uint32_t length = NAME_UNITS;
    if (hl_port_user_name(buffer, &length)) {
        buffer[NAME_UNITS - 1] = 0;
        w2s(buffer, out->username, (int)sizeof out->username);
    } else {
        hl_copy(out->username, sizeof out->username, "unknown");
    }

    memset(buffer, 0, sizeof buffer);
    length = NAME_UNITS;
    if (hl_port_computer_name(buffer, &length)) {
        buffer[NAME_UNITS - 1] = 0;
        w2s(buffer, out->host, (int)sizeof out->host);
    } else {
        hl_copy(out->host, sizeof out->host, "unknown");
    }

    char full[128];
    memset(full, 0, sizeof full);
    if (reg_getstr(HL_HKEY_CURRENT_USER, u"Control Panel\\Desktop", u"FullName", full,
                   sizeof full) == 1 &&
        full[0] != '\0')
        hl_copy(out->full_name, sizeof out->full_name, full);
    else
        hl_copy(out->full_name, sizeof out->full_name, "unknown");
}

void hl_impl_locale(hl_locale_info_t *out)
{
    memset(out, 0, sizeof *out);
    char16_t buffer[LOCALE_UNITS];
    memset(buffer, 0, sizeof buffer);
    if (hl_port_locale_name(HL_LOCALE_SYSTEM_DEFAULT, buffer, LOCALE_UNITS) <= 0) {
        hl_copy(out->name, sizeof out->name, "unknown");
        return;
    }
    buffer[LOCALE_UNITS - 1] = 0;
    w2s(buffer, out->name, (int)sizeof out->name);
    /* POSIX-style names carry a code set after a full stop (en_US.UTF-8). */
    char *stop = strchr(out->name, '.');
    if (stop != NULL)
        *stop = '\0';
}

void hl_impl_process_count(uint64_t *count)
{
    *count = 0;
    hl_handle_t snapshot = NULL;
    if (!hl_port_process_snapshot(&snapshot))
        return;
    if (hl_port_process_first(snapshot)) {
        (*count)++;
        while (hl_port_process_next(snapshot))
            (*count)++;
    }
    hl_port_close_handle(snapshot);
}
