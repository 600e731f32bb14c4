/*
 * Documents of the resolution, desktop-environment and window-manager
 * modules.
 */
#include "hostlens_internal.h"

/* The snapshot section carries the size only. */
void hl_write_resolution(hl_json_t *j, const hl_resolution_info_t *r, hl_form_t form)
{
    hl_json_kvns(j, "width", r->width);
    hl_json_comma(j);
    hl_json_kvns(j, "height", r->height);
    if (form == HL_DOCUMENT) {
        hl_json_comma(j);
        hl_json_kvns(j, "refresh_hz", r->refresh_hz);
    }
}

void hl_write_name(hl_json_t *j, const hl_name_info_t *r)
{
    hl_json_kvs(j, "name", r->name);
}

extern "C" const char *hostlens_resolution(void)
{
    hl_json_t *j = begin_module("resolution");
    hl_resolution_info_t r;
    hl_impl_resolution(&r);
    hl_write_resolution(j, &r, HL_DOCUMENT);
    return end_module();
}

extern "C" const char *hostlens_desktop_environment(void)
{
    hl_json_t *j = begin_module("de");
    hl_name_info_t r;
    hl_impl_de(&r);
    hl_write_name(j, &r);
    return end_module();
}

extern "C" const char *hostlens_window_manager(void)
{
    hl_json_t *j = begin_module("wm");
    hl_name_info_t r;
    hl_impl_wm(&r);
    hl_write_name(j, &r);
    return end_module();
}
