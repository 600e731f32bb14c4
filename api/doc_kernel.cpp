/*
 * Document of the kernel module.
 */
#include "hostlens_internal.h"

void hl_write_kernel(hl_json_t *j, const hl_kernel_info_t *r)
{
    hl_json_kvs(j, "name", r->name);
    hl_json_comma(j);
    hl_json_kvs(j, "release", r->release);
    hl_json_comma(j);
    hl_json_kvs(j, "version", r->version);
    hl_json_comma(j);
    hl_json_kvs(j, "architecture", r->architecture);
    hl_json_comma(j);
    hl_json_kvs(j, "codename", r->codename);
}

extern "C" const char *hostlens_kernel(void)
{
    hl_json_t *j = begin_module("kernel");
    hl_kernel_info_t r;
    hl_impl_kernel(&r);
    hl_write_kernel(j, &r);
    return end_module();
}
