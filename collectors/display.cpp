/*
 * The current display mode, and the desktop names, which are fixed on
 * Windows.
 */
#include "hostlens_internal.h"

#include "hl_port.h"

#include <string.h>

void hl_impl_resolution(hl_resolution_info_t *out)
{
    memset(out, 0, sizeof *out);
    uint32_t width = 0, height = 0, hz = 0;
    /* Without a display (a service session) the query fails: zeros, which
     * the document writes as numbers. */
    if (!hl_port_display_settings(&width, &height, &hz))
        return;
    out->width = width;
    out->height = height;
    out->refresh_hz = hz;
}

void hl_impl_de(hl_name_info_t *out)
{
    memset(out, 0, sizeof *out);
    hl_copy(out->name, sizeof out->name, "Windows Shell");
}

void hl_impl_wm(hl_name_info_t *out)
{
    memset(out, 0, sizeof *out);
    hl_copy(out->name, sizeof out->name, "Windows Shell");
}
