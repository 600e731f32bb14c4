/*
 * Document of the OS module.
 */
#include "hostlens_internal.h"

void hl_write_os(hl_json_t *j, const hl_os_info_t *r)
{
    hl_json_kvs(j, "type", r->type);
    hl_json_comma(j);
    hl_json_kvs(j, "name", r->name);
    hl_json_comma(j);
    hl_json_kvs(j, "version", r->version);
    hl_json_comma(j);
    hl_json_kvs(j, "codename", r->codename);
    hl_json_comma(j);
    hl_json_kvs(j, "build_id", r->build_id);
    hl_json_comma(j);
    hl_json_kvs(j, "id", r->id);
    hl_json_comma(j);
    hl_json_kvs(j, "pretty_name", r->pretty_name);
    hl_json_comma(j);
    hl_json_kvs(j, "kernel_release", r->kernel_release);
    hl_json_comma(j);
    hl_json_kvs(j, "kernel_version", r->kernel_version);
    hl_json_comma(j);
    hl_json_kvs(j, "host_id", r->host_id);
    hl_json_comma(j);
    hl_json_kvs(j, "install_date", r->install_date);
}

extern "C" const char *hostlens_os(void)
{
    hl_json_t *j = begin_module("os");
    hl_os_info_t r;
    hl_impl_os(&r);
    hl_write_os(j, &r);
    return end_module();
}
