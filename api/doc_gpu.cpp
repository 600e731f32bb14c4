/*
 * Document of the GPU list.
 */
#include "hostlens_internal.h"

void hl_write_gpu(hl_json_t *j, const hl_gpu_list_t *r)
{
    for (int32_t i = 0; i < r->count && i < HL_GPU_MAX; i++) {
        const hl_gpu_info_t *g = &r->gpus[i];
        if (i > 0)
            hl_json_comma(j);
        hl_json_raw(j, "{");
        hl_json_kvs(j, "vendor", g->vendor);
        hl_json_comma(j);
        hl_json_kvs(j, "model", g->model);
        hl_json_comma(j);
        hl_json_kvns(j, "vram_mb", g->vram_mb);
        hl_json_comma(j);
        hl_json_kvs(j, "driver_version", g->driver_version);
        hl_json_comma(j);
        hl_json_kvns(j, "output_count", g->output_count);
        hl_json_raw(j, "}");
    }
}

extern "C" const char *hostlens_gpu(void)
{
    hl_json_t *j = begin_module_arr("gpu");
    hl_gpu_list_t r;
    hl_impl_gpu(&r);
    hl_write_gpu(j, &r);
    return end_module_arr();
}
