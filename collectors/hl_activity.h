/*
 * Readers of what the machine is doing: processor times, the interface
 * table and the process list, each over the bytes the platform returned.
 * Every reader takes a pointer and a length and reads nothing outside them.
 */
#ifndef HL_ACTIVITY_H
#define HL_ACTIVITY_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens_internal.h"

/* SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, 48 bytes on x64: IdleTime,
 * KernelTime (idle included), UserTime, DpcTime, InterruptTime (100 ns),
 * InterruptCount. */
#define HL_PPI_SIZE 48u
#define HL_PPI_IDLE 0u
#define HL_PPI_KERNEL 8u
#define HL_PPI_USER 16u
#define HL_PPI_DPC 24u
#define HL_PPI_INTERRUPT 32u
/* A processor group holds at most 64 processors. */
#define HL_GROUP_PROCESSORS 64u

/* Appends one core of `group` per whole entry of p[0..length), numbered
 * from 0 in the order given. Privileged time is kernel time minus idle
 * time, unknown when the kernel time is the smaller. Returns the entries
 * added, or -1 when memory ran out (out->out_of_memory is set). */
int hl_impl_cpu_times_parse(const uint8_t *p, size_t length, uint32_t group, hl_cpu_times_t *out);

/* MIB_IF_TABLE2: NumEntries, padding, then MIB_IF_ROW2 rows of 1352 bytes
 * (x64). Offsets within a row: */
#define HL_IFTABLE2_HEADER 8u
#define HL_IFROW2_SIZE 1352u
#define HL_IFROW2_LUID 0u
#define HL_IFROW2_INDEX 8u
#define HL_IFROW2_ALIAS 28u        /* WCHAR[257] */
#define HL_IFROW2_DESCRIPTION 542u /* WCHAR[257] */
#define HL_IFROW2_TEXT_UNITS 257u
#define HL_IFROW2_PHYS_LENGTH 1056u
#define HL_IFROW2_PHYS 1060u  /* UCHAR[32] */
#define HL_IFROW2_FLAGS 1152u /* bit 0 HardwareInterface, bit 1 FilterInterface */
#define HL_IFROW2_OPER_STATUS 1156u
#define HL_IFROW2_TX_SPEED 1192u
#define HL_IFROW2_RX_SPEED 1200u
#define HL_IFROW2_IN_OCTETS 1208u
#define HL_IFROW2_IN_UCAST 1216u
#define HL_IFROW2_IN_NUCAST 1224u
#define HL_IFROW2_IN_DISCARDS 1232u
#define HL_IFROW2_IN_ERRORS 1240u
#define HL_IFROW2_IN_UNKNOWN 1248u
#define HL_IFROW2_OUT_OCTETS 1280u
#define HL_IFROW2_OUT_UCAST 1288u
#define HL_IFROW2_OUT_NUCAST 1296u
#define HL_IFROW2_OUT_DISCARDS 1304u
#define HL_IFROW2_OUT_ERRORS 1312u

/* Appends one entry per row of the MIB_IF_TABLE2 in p[0..length): the rows
 * its NumEntries declares, and none beyond `length`. Returns the entries
 * added, or -1 when memory ran out (out->out_of_memory is set). */
int hl_impl_net_io_parse(const uint8_t *p, size_t length, hl_net_io_list_t *out);

/* SYSTEM_PROCESS_INFORMATION (x64): the fixed part is 256 bytes; the
 * process's threads and its name follow it, inside the entry. */
#define HL_SPI_SIZE 256u
#define HL_SPI_NEXT 0u
#define HL_SPI_THREADS 4u
#define HL_SPI_CREATE_TIME 32u
#define HL_SPI_USER_TIME 40u
#define HL_SPI_KERNEL_TIME 48u
#define HL_SPI_NAME_LENGTH 56u /* UNICODE_STRING: Length in bytes, MaximumLength, Buffer */
#define HL_SPI_NAME_BUFFER 64u
#define HL_SPI_PID 80u
#define HL_SPI_PPID 88u
#define HL_SPI_HANDLES 96u
#define HL_SPI_WORKING_SET 144u
/* VM_COUNTERS.PagefileUsage: the private memory committed, in bytes. The
 * PrivatePageCount after the counters holds the same figure on Windows, but
 * Wine leaves it 0. */
#define HL_SPI_PRIVATE 184u

/* Appends one entry per process of the list in p[0..length), following
 * NextEntryOffset. `address` is where p[0] lay when the platform filled it:
 * a name's Buffer pointer is taken against it and used only when the whole
 * name lies inside the span. The walk ends at the entry whose offset is 0,
 * smaller than a fixed part, or past the span. Returns the entries added, or
 * -1 when memory ran out (out->out_of_memory is set). */
int hl_impl_processes_parse(const uint8_t *p, size_t length, uint64_t address,
                            hl_process_list_t *out);

/* "YYYY-MM-DDThh:mm:ssZ" of a FILETIME (100 ns since 1601, UTC), or
 * "unknown" for 0, a time before 1970 or one the platform cannot convert. */
void hl_impl_filetime_text(uint64_t filetime, char *out, size_t size);

#endif
