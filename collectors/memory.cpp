/*
 * Physical memory and the commit figures (reported as swap).
 */
#include "hostlens_internal.h"

#include "hl_port.h"

static double percent_of(int64_t used, int64_t total)
{
    return total != 0 ? (double)used * 100.0 / (double)total : 0.0;
}

void hl_impl_memory(hl_memory_info_t *out)
{
    out->used_mb = 0;
    out->total_mb = 0;
    out->percent = 0;
    out->available_mb = 0;
    out->virtual_used_mb = 0;
    hl_port_memory_t m;
    if (!hl_port_memory_status(&m)) {
        out->used_mb = out->total_mb = out->available_mb = out->virtual_used_mb = -1;
        out->percent = -1.0;
        return;
    }
    out->total_mb = (int64_t)(m.total_phys >> 20);
    out->available_mb = (int64_t)(m.avail_phys >> 20);
    /* Physical use is the difference of two truncated MiB figures; committed
     * memory is the truncated MiB figure of a byte difference. */
    out->used_mb = out->total_mb - out->available_mb;
    out->percent = percent_of(out->used_mb, out->total_mb);
    out->virtual_used_mb = (int64_t)((m.total_page_file - m.avail_page_file) >> 20);
}

void hl_impl_swap(hl_swap_info_t *out)
{
    out->used_mb = 0;
    out->total_mb = 0;
    out->percent = 0;
    hl_port_memory_t m;
    if (!hl_port_memory_status(&m))
        return;
    out->total_mb = (int64_t)(m.total_page_file >> 20);
    out->used_mb = (int64_t)((m.total_page_file - m.avail_page_file) >> 20);
    out->percent = percent_of(out->used_mb, out->total_mb);
}
