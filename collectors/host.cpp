/*
 * The host module: what the SMBIOS firmware table says about the machine.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_port.h"
#include "hl_smbios.h"

/* Below this the table cannot hold a single structure past the header. */
#define SMBIOS_MIN_SIZE 16u

static void read_table(hl_host_info_t *out)
{
    uint32_t size = hl_port_firmware_table(HL_FIRMWARE_RSMB, 0, NULL, 0);
    if (size < SMBIOS_MIN_SIZE)
        return;
    uint8_t *block = (uint8_t *)hl_port_alloc(size);
    if (block == NULL)
        return;
    /* A table that grew since the size query is reported by its new size
     * and not copied. */
    uint32_t got = hl_port_firmware_table(HL_FIRMWARE_RSMB, 0, block, size);
    if (got != 0 && got <= size)
        hl_impl_host_walk(block, got, out);
    hl_port_free(block);
}

void hl_impl_host(hl_host_info_t *out)
{
    memset(out, 0, sizeof *out);
    read_table(out);
    char *fields[] = {out->manufacturer, out->model,        out->version,     out->sku,
                      out->family,       out->chassis_type, out->bios_vendor, out->bios_version,
                      out->bios_date,    out->board_vendor, out->board_model};
    size_t sizes[] = {sizeof out->manufacturer, sizeof out->model,        sizeof out->version,
                      sizeof out->sku,          sizeof out->family,       sizeof out->chassis_type,
                      sizeof out->bios_vendor,  sizeof out->bios_version, sizeof out->bios_date,
                      sizeof out->board_vendor, sizeof out->board_model};
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; i++)
        hl_ensure(fields[i], sizes[i]);
}
