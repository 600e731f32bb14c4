/*
 * Display adapters as the device manager knows them: readers of the texts
 * SetupAPI and the display class key hand over, shared by the gpu and
 * display_adapters modules.
 */
#ifndef HL_ADAPTER_H
#define HL_ADAPTER_H

#include <stddef.h>
#include <stdint.h>

#include "hl_port.h"

/* The display adapter class, lower case, as a device's driver key and the
 * class key name it. */
#define HL_DISPLAY_CLASS_GUID "{4d36e968-e325-11ce-bfc1-08002be10318}"

/* The maker of an adapter: from the PCI vendor number of its hardware or
 * instance ID (id[0..n), "PCI\VEN_10DE&DEV_2206&..."), else from a maker's
 * name in `name` (NVIDIA, Intel, AMD or Radeon), else "unknown". Never
 * NULL. */
const char *hl_adapter_vendor(const char *id, size_t n, const char *name);

/* The display class subkey a driver key names (driver[0..n),
 * "{4d36e968-e325-11ce-bfc1-08002be10318}\0001" names "0001"): 1 with the
 * subkey's name in sub (NUL-terminated), 0 for a key of another class, with
 * no subkey, a deeper path, or a name that does not fit. */
int hl_adapter_driver_subkey(const char *driver, size_t n, char *sub, size_t size);

/* Bytes of adapter memory the driver wrote into its instance key (an open
 * subkey of the display class key): "HardwareInformation.qwMemorySize"
 * (REG_QWORD, or 8 bytes of REG_BINARY) since Windows 10, else
 * "HardwareInformation.MemorySize" (REG_DWORD, or 4 bytes of REG_BINARY).
 * 0 when neither holds a number. */
uint64_t hl_adapter_instance_memory(hl_hkey_t instance);

#endif
