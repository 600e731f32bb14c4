/*
 * Documents of the user, locale and process count modules.
 */
#include "hostlens_internal.h"

void hl_write_user(hl_json_t *j, const hl_user_info_t *r, hl_form_t form)
{
    hl_json_kvs(j, "username", r->username);
    hl_json_comma(j);
    hl_json_kvs(j, "host", r->host);
    if (form == HL_SECTION)
        return;
    hl_json_comma(j);
    hl_json_kvs(j, "full_name", r->full_name);
}

void hl_write_locale(hl_json_t *j, const hl_locale_info_t *r)
{
    hl_json_kvs(j, "name", r->name);
}

void hl_write_process_count(hl_json_t *j, uint64_t count)
{
    hl_json_kvn(j, "total", (int64_t)count);
}

extern "C" const char *hostlens_user(void)
{
    hl_json_t *j = begin_module("user");
    hl_user_info_t r;
    hl_impl_user(&r);
    hl_write_user(j, &r, HL_DOCUMENT);
    return end_module();
}

extern "C" const char *hostlens_locale(void)
{
    hl_json_t *j = begin_module("locale");
    hl_locale_info_t r;
    hl_impl_locale(&r);
    hl_write_locale(j, &r);
    return end_module();
}

extern "C" const char *hostlens_process_count(void)
{
    hl_json_t *j = begin_module("process_count");
    uint64_t count = 0;
    hl_impl_process_count(&count);
    hl_write_process_count(j, count);
    return end_module();
}
