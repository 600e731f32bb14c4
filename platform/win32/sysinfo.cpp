/*
 * ntdll's system-information queries, through their looked-up addresses.
 */
#include <windows.h>
#include <winternl.h>
#include <stddef.h>

#include "hl_activity.h"
#include "hl_port.h"
#include "winapi.h"

/* The records as the portable readers take them (hl_activity.h), checked
 * against the members every SDK's winternl.h names. */
static_assert(sizeof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION) == HL_PPI_SIZE &&
                  offsetof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, IdleTime) == HL_PPI_IDLE &&
                  offsetof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, KernelTime) == HL_PPI_KERNEL &&
                  offsetof(SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION, UserTime) == HL_PPI_USER,
              "SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION");
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, NextEntryOffset) == HL_SPI_NEXT &&
                  offsetof(SYSTEM_PROCESS_INFORMATION, NumberOfThreads) == HL_SPI_THREADS &&
                  offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) == HL_SPI_NAME_LENGTH &&
                  offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) +
                          offsetof(UNICODE_STRING, Buffer) ==
                      HL_SPI_NAME_BUFFER &&
                  offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId) == HL_SPI_PID &&
                  offsetof(SYSTEM_PROCESS_INFORMATION, HandleCount) == HL_SPI_HANDLES,
              "SYSTEM_PROCESS_INFORMATION");

#define STATUS_PROCEDURE_NOT_FOUND_ ((int32_t)0xC000007Au)

int32_t hl_port_system_info(uint32_t info_class, void *buffer, uint32_t length, uint32_t *returned)
{
    auto fn = (hl_nt_query_system_information_fn)(void *)hl_win32_proc(HL_DLL_NTDLL,
                                                                       "NtQuerySystemInformation");
    *returned = 0;
    if (fn == NULL)
        return STATUS_PROCEDURE_NOT_FOUND_;
    ULONG n = 0;
    LONG status = fn(info_class, buffer, length, &n);
    *returned = n;
    return (int32_t)status;
}

int32_t hl_port_system_info_ex(uint32_t info_class, const void *input, uint32_t input_length,
                               void *buffer, uint32_t length, uint32_t *returned)
{
    auto fn = (hl_nt_query_system_information_ex_fn)(void *)hl_win32_proc(
        HL_DLL_NTDLL, "NtQuerySystemInformationEx");
    *returned = 0;
    if (fn == NULL)
        return STATUS_PROCEDURE_NOT_FOUND_;
    ULONG n = 0;
    LONG status = fn(info_class, (PVOID)input, input_length, buffer, length, &n);
    *returned = n;
    return (int32_t)status;
}
