/*
 * ntdll's system-information queries, through their looked-up addresses.
 */
#include <windows.h>

#include "hl_port.h"
#include "winapi.h"

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
