/*
 * Performance counters through PDH.
 */
#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include "hl_port.h"
#include "win32_util.h"
#include "winapi.h"

/* What a call answers when pdh.dll cannot be loaded. */
#define HL_PDH_UNAVAILABLE ((long)ERROR_MOD_NOT_FOUND)

long hl_port_pdh_open(hl_handle_t *query)
{
    PDH_HQUERY q = NULL;
    auto open = HL_WIN32_FN(HL_DLL_PDH, PdhOpenQueryW);
    *query = NULL;
    if (open == NULL)
        return HL_PDH_UNAVAILABLE;
    PDH_STATUS s = open(NULL, 0, &q);
    *query = (hl_handle_t)q;
    return (long)s;
}

long hl_port_pdh_add_english(hl_handle_t query, const char16_t *path, hl_handle_t *counter)
{
    PDH_HCOUNTER c = NULL;
    auto add = HL_WIN32_FN(HL_DLL_PDH, PdhAddEnglishCounterW);
    *counter = NULL;
    if (add == NULL)
        return HL_PDH_UNAVAILABLE;
    PDH_STATUS s = add((PDH_HQUERY)query, W(path), 0, &c);
    *counter = (hl_handle_t)c;
    return (long)s;
}

long hl_port_pdh_collect(hl_handle_t query)
{
    auto collect = HL_WIN32_FN(HL_DLL_PDH, PdhCollectQueryData);
    return collect != NULL ? (long)collect((PDH_HQUERY)query) : HL_PDH_UNAVAILABLE;
}

long hl_port_pdh_value(hl_handle_t counter, double *value)
{
    PDH_FMT_COUNTERVALUE v;
    ZeroMemory(&v, sizeof v);
    auto get = HL_WIN32_FN(HL_DLL_PDH, PdhGetFormattedCounterValue);
    if (get == NULL)
        return HL_PDH_UNAVAILABLE;
    PDH_STATUS s = get((PDH_HCOUNTER)counter, PDH_FMT_DOUBLE, NULL, &v);
    if (s == ERROR_SUCCESS)
        *value = v.doubleValue;
    return (long)s;
}

long hl_port_pdh_remove(hl_handle_t counter)
{
    auto remove = HL_WIN32_FN(HL_DLL_PDH, PdhRemoveCounter);
    return remove != NULL ? (long)remove((PDH_HCOUNTER)counter) : HL_PDH_UNAVAILABLE;
}

long hl_port_pdh_close(hl_handle_t query)
{
    auto close = HL_WIN32_FN(HL_DLL_PDH, PdhCloseQuery);
    return close != NULL ? (long)close((PDH_HQUERY)query) : HL_PDH_UNAVAILABLE;
}

long hl_port_pdh_array(hl_handle_t counter, hl_port_pdh_item_t *items, uint32_t capacity,
                       uint32_t *count)
{
    auto get = HL_WIN32_FN(HL_DLL_PDH, PdhGetFormattedCounterArrayW);
    *count = 0;
    if (get == NULL)
        return HL_PDH_UNAVAILABLE;
    DWORD size = 0, n = 0;
    PDH_STATUS s = get((PDH_HCOUNTER)counter, PDH_FMT_DOUBLE, &size, &n, NULL);
    if (s == ERROR_SUCCESS)
        return 0; /* no instance */
    if (s != (PDH_STATUS)PDH_MORE_DATA)
        return (long)s;
    /* The items, and the instance names they point at, in one block. */
    auto *block = (PDH_FMT_COUNTERVALUE_ITEM_W *)HeapAlloc(GetProcessHeap(), 0, size);
    if (block == NULL)
        return (long)PDH_MEMORY_ALLOCATION_FAILURE;
    s = get((PDH_HCOUNTER)counter, PDH_FMT_DOUBLE, &size, &n, block);
    if (s == ERROR_SUCCESS) {
        *count = n;
        if (n > capacity) {
            s = (PDH_STATUS)PDH_MORE_DATA;
        } else {
            for (DWORD i = 0; i < n; i++) {
                items[i].value = block[i].FmtValue.doubleValue;
                items[i].status = block[i].FmtValue.CStatus;
            }
        }
    }
    HeapFree(GetProcessHeap(), 0, block);
    return (long)s;
}
