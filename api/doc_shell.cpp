/*
 * Documents of the shell, terminal and terminal font modules.
 */
#include "hostlens_internal.h"

void hl_write_shell(hl_json_t *j, const hl_shell_info_t *r)
{
    hl_json_kvs(j, "name", r->name);
    hl_json_comma(j);
    hl_json_kvs(j, "path", r->path);
    hl_json_comma(j);
    hl_json_kvs(j, "version", r->version);
}

void hl_write_terminal(hl_json_t *j, const hl_terminal_info_t *r)
{
    hl_json_kvs(j, "name", r->name);
    hl_json_comma(j);
    hl_json_kvs(j, "version", r->version);
}

void hl_write_terminal_font(hl_json_t *j, const hl_terminal_font_info_t *r, hl_form_t form)
{
    hl_json_kvs(j, "name", r->name);
    if (form == HL_SECTION)
        return;
    hl_json_comma(j);
    hl_json_kvs(j, "size", r->size);
}

extern "C" const char *hostlens_shell(void)
{
    hl_json_t *j = begin_module("shell");
    hl_shell_info_t r;
    hl_impl_shell(&r);
    hl_write_shell(j, &r);
    return end_module();
}

extern "C" const char *hostlens_terminal(void)
{
    hl_json_t *j = begin_module("terminal");
    hl_terminal_info_t r;
    hl_impl_terminal(&r);
    hl_write_terminal(j, &r);
    return end_module();
}

extern "C" const char *hostlens_terminal_font(void)
{
    hl_json_t *j = begin_module("terminal_font");
    hl_terminal_font_info_t r;
    hl_impl_terminal_font(&r);
    hl_write_terminal_font(j, &r, HL_DOCUMENT);
    return end_module();
}
