/*
 * The SMBIOS structure walk of the host collector, over the raw firmware
 * table bytes.
 */
#ifndef HL_SMBIOS_H
#define HL_SMBIOS_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens_internal.h"

/* 'RSMB', the raw SMBIOS firmware table provider. */
#define HL_FIRMWARE_RSMB 0x52534D42u

/* Fills the fields that the structures of `data` (the 8-byte raw SMBIOS
 * header and the structure table, `size` bytes as returned) carry; the rest
 * stay as they were. Never reads outside data[0..size). 0 when the header
 * claims more table than `size` holds. */
int hl_impl_host_walk(const uint8_t *data, size_t size, hl_host_info_t *out);

#endif
