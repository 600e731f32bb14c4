/*
 * The battery device's answers, read from the bytes DeviceIoControl wrote:
 * for the collector, its tests and its fuzz target.
 */
#ifndef HL_BATTERY_H
#define HL_BATTERY_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens_internal.h"

/* CTL_CODE(FILE_DEVICE_BATTERY, function, METHOD_BUFFERED, FILE_READ_ACCESS). */
#define HL_IOCTL_BATTERY_QUERY_TAG 0x294040u
#define HL_IOCTL_BATTERY_QUERY_INFORMATION 0x294044u
#define HL_IOCTL_BATTERY_QUERY_STATUS 0x29404Cu

/* BATTERY_QUERY_INFORMATION_LEVEL values the collector asks for. */
#define HL_BATTERY_INFORMATION 0u
#define HL_BATTERY_DEVICE_NAME 4u
#define HL_BATTERY_MANUFACTURE_NAME 6u
#define HL_BATTERY_SERIAL_NUMBER 8u

#define HL_BATTERY_INFORMATION_SIZE 36u /* BATTERY_INFORMATION */
#define HL_BATTERY_STATUS_SIZE 16u      /* BATTERY_STATUS */
/* BATTERY_STATUS PowerState bits. */
#define HL_BATTERY_POWER_ON_LINE 0x1u
#define HL_BATTERY_DISCHARGING 0x2u
#define HL_BATTERY_CHARGING 0x4u
/* Capabilities bit: capacities and rate are in no unit, not mWh and mW. */
#define HL_BATTERY_CAPACITY_RELATIVE 0x40000000u

/* A battery with nothing known: empty texts (written "unknown"), -1. */
void hl_battery_health_unknown(hl_battery_health_t *b);
/* BATTERY_INFORMATION: chemistry, capacities, health and cycle count into b,
 * its Capabilities into *capabilities. 0, and nothing changed, when the span
 * is shorter than the structure. */
int hl_battery_read_information(const void *data, size_t n, hl_battery_health_t *b,
                                uint32_t *capabilities);
/* BATTERY_STATUS: voltage and rate into b (the rate only in mW, so not for a
 * battery with relative capacities), the charge over the full-charge
 * capacity hl_battery_read_information found (at most 100), and the state
 * from the power state bits. 0, and nothing changed, when short. */
int hl_battery_read_status(const void *data, size_t n, uint32_t capabilities,
                           hl_battery_health_t *b);
/* A string level (UTF-16, up to its first NUL or the span's end, an odd last
 * byte ignored) as UTF-8 without blanks around it; "unknown" when empty. */
void hl_battery_read_text(const void *data, size_t n, char *out, size_t size);

#endif
