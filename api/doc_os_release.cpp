/*
 * Members of the os_release module, reached by name through hostlens_collect.
 */
#include "hostlens_internal.h"

void hl_write_os_release(hl_json_t *j, const hl_os_release_info_t *r)
{
    hl_json_kvs(j, "product", r->product);
    hl_json_comma(j);
    hl_json_kvs(j, "display_version", r->display_version);
    hl_json_comma(j);
    hl_json_kvns(j, "build", r->build);
    hl_json_comma(j);
    hl_json_kvns(j, "ubr", r->ubr);
    hl_json_comma(j);
    hl_json_kvs(j, "full_build", r->full_build);
    hl_json_comma(j);
    hl_json_kvs(j, "edition", r->edition);
    hl_json_comma(j);
    hl_json_kvs(j, "installation_type", r->installation_type);
}
