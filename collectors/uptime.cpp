/*
 * Time since start-up as text, and the boot instant derived from it.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_port.h"

/* FILETIME of 1970-01-01T00:00:00Z. */
#define HL_FILETIME_UNIX_EPOCH UINT64_C(116444736000000000)

static void format_uptime(uint64_t ms, char *out, size_t size)
{
    long long s = (long long)(ms / 1000);
    long long days = s / 86400, hours = s % 86400 / 3600, minutes = s % 3600 / 60;
    if (ms >= UINT64_C(86400000))
        hl_format(out, size, "%lld days, %lld hours, %lld minutes", days, hours, minutes);
    else if (s >= 3600)
        hl_format(out, size, "%lld hours, %lld minutes", hours, minutes);
    else if (s <= 59)
        hl_format(out, size, "%lld seconds", s);
    else
        hl_format(out, size, "%lld minutes", minutes);
}

void hl_impl_uptime(hl_uptime_info_t *out)
{
    memset(out, 0, sizeof *out);
    /* One reading serves the text and the boot instant, so both agree. */
    uint64_t ms = hl_port_tick_count();
    out->total_seconds = (int64_t)(ms / 1000);
    format_uptime(ms, out->formatted, sizeof out->formatted);

    /* A clock set before 1970 plus the uptime wraps to an instant beyond any
     * calendar the runtime converts; the time stamp then stays empty. */
    uint64_t now = hl_port_system_time();
    uint64_t boot = (now - HL_FILETIME_UNIX_EPOCH - ms * 10000) / 10000000;
    char iso[32];
    if (boot <= (uint64_t)INT64_MAX && hl_port_utc_text((int64_t)boot, iso, sizeof iso))
        hl_copy(out->boot_time_iso, sizeof out->boot_time_iso, iso);
    hl_copy(out->last_boot, sizeof out->last_boot, out->formatted);
}
