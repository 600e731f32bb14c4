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

/* The active-processor count of each processor group, from the
 * RelationGroup records of GetLogicalProcessorInformationEx. Returns the
 * number of groups (0 when the records cannot be had). */
int hl_impl_processor_groups(uint32_t *active, int cap);

/* The nominal speed in MHz read from a processor name ("... @ 3.60GHz"),
 * or -1 when the name states none. */
int64_t hl_impl_cpu_speed_mhz(const char *name);

/* Share of non-idle time between two (idle, kernel, user) samples, kernel
 * including idle, less `own` units of busy time (the calling thread's own,
 * spent between the samples; busy time never goes below 0); -1.0 when no
 * time elapsed or the samples contradict. */
double hl_impl_cpu_usage(const uint64_t first[3], const uint64_t second[3], uint64_t own);

/* What is left to sleep of a usage window opened at performance-counter
 * reading `started`, at `now`: 200 ms minus the whole milliseconds elapsed,
 * 0 once 200 ms have passed, the full 200 ms when the clock cannot tell. */
uint32_t hl_impl_cpu_wait_ms(uint64_t started, uint64_t now, uint64_t per_second);

/* The per-processor values of `n` processors (at most HL_CPU_MAX_COUNTERS),
 * each at its processor's position: values[i] where read[i] is set and the
 * value is a percentage, -1.0 elsewhere. When no processor has a value the
 * list is empty. */
void hl_impl_cpu_per_core(hl_cpu_info_t *out, const double *values, const int *read, int32_t n);

/* ---- CPUID ------------------------------------------------------------------ */

/* The leaves the CPU and hypervisor modules read: registers EAX, EBX, ECX,
 * EDX of each, and whether the processor has it. */
typedef struct hl_cpuid_t {
    int present; /* the processor has the instruction (x86-64) */
    int has_leaf1, has_leaf7, has_ext1;
    uint32_t leaf1[4], leaf7[4], ext1[4]; /* leaves 1, 7.0 and 0x80000001 */
} hl_cpuid_t;

/* Reads the leaves through the port, each only where the highest leaf of its
 * range (leaf 0, leaf 0x80000000) allows it. */
void hl_impl_cpuid_read(hl_cpuid_t *out);

/* Display family, model and stepping from leaf 1 EAX: the extended family
 * added to family 15, the extended model (shifted left by 4) added from
 * family 6 on. */
void hl_impl_cpu_signature(uint32_t eax, int64_t *family, int64_t *model, int64_t *stepping);

/* Features set in leaves 1 (ECX, EDX), 7.0 (EBX, ECX, EDX) and 0x80000001
 * (ECX, EDX) that have a name in the table of collectors/cpuid.cpp, over the
 * leaves the processor has; -1 without leaf 1. */
int64_t hl_impl_cpu_flags_count(const hl_cpuid_t *c);

/* The hypervisor's vendor signature from leaf 0x40000000 (EBX, ECX, EDX):
 * its printable ASCII with the trailing NULs and blanks cut. 0, and out
 * empty, when it is empty or holds anything else. */
int hl_impl_hypervisor_signature(const uint32_t regs[4], char out[13]);

/* The plain name of a known signature ("KVMKVMKVM": "KVM"), or NULL. */
const char *hl_impl_hypervisor_name(const char *signature);

#endif
