/*
 * The CPU collector's parsers and derivations, over plain values and byte
 * spans as the platform hands them out.
 */
#ifndef HL_CPU_H
#define HL_CPU_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens_internal.h"

/* GetLogicalProcessorInformationEx relationships. */
#define HL_REL_PROCESSOR_CORE 0u
#define HL_REL_PROCESSOR_PACKAGE 3u
#define HL_REL_GROUP 4u

/* Windows has at most a few dozen processor groups; more are ignored. */
#define HL_CPU_MAX_GROUPS 64

/* Records of `relationship` in a SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX
 * span. The walk ends at the first record smaller than its own header or
 * running past `length`. */
int64_t hl_impl_cpu_count_records(const uint8_t *p, size_t length, uint32_t relationship);

/* Active-processor counts of the processor groups, in group order, from the
 * first RelationGroup record of the span. Returns the number of groups
 * stored (0 when the span has no usable group record). */
int hl_impl_cpu_groups(const uint8_t *p, size_t length, uint32_t *active, int cap);

/* The English "% Processor Time" path of logical processor `index`, whose
 * instance is named "group,number". With no groups known the processor is
 * taken as number `index` of group 0. 0 when the index lies beyond the
 * active processors of every group, or the path does not fit `cap`. */
int hl_impl_cpu_counter_path(uint32_t index, const uint32_t *active, int groups, char16_t *out,
                             size_t cap);

/* The nominal speed in MHz read from a processor name ("... @ 3.60GHz"),
 * or -1 when the name states none. */
int64_t hl_impl_cpu_speed_mhz(const char *name);

/* Share of non-idle time between two (idle, kernel, user) samples, kernel
 * including idle; -1.0 when no time elapsed or the samples contradict. */
double hl_impl_cpu_usage(const uint64_t first[3], const uint64_t second[3]);

/* What is left to sleep of a usage window opened at performance-counter
 * reading `started`, at `now`: 200 ms minus the whole milliseconds elapsed,
 * 0 once 200 ms have passed, the full 200 ms when the clock cannot tell. */
uint32_t hl_impl_cpu_wait_ms(uint64_t started, uint64_t now, uint64_t per_second);

/* Appends one per-processor value if it is a percentage and there is room. */
void hl_impl_cpu_keep(hl_cpu_info_t *out, double value);

#endif
