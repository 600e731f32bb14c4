/*
 * Firmware tables.
 */
#include <windows.h>

#include "hl_port.h"

uint32_t hl_port_firmware_table(uint32_t provider, uint32_t id, void *buffer, uint32_t size)
{
    return GetSystemFirmwareTable(provider, id, buffer, size);
}
