/*
 * Performance counters through PDH.
 */
#include <windows.h>
#include <pdh.h>

#include "hl_port.h"
#include "win32_util.h"

long hl_port_pdh_open(hl_handle_t *query)
{
    PDH_HQUERY q = NULL;
    PDH_STATUS s = PdhOpenQueryW(NULL, 0, &q);
    *query = (hl_handle_t)q;
    return (long)s;
}

long hl_port_pdh_add_english(hl_handle_t query, const char16_t *path, hl_handle_t *counter)
{
    PDH_HCOUNTER c = NULL;
    PDH_STATUS s = PdhAddEnglishCounterW((PDH_HQUERY)query, W(path), 0, &c);
    *counter = (hl_handle_t)c;
    return (long)s;
}

long hl_port_pdh_collect(hl_handle_t query)
{
    return (long)PdhCollectQueryData((PDH_HQUERY)query);
}

long hl_port_pdh_value(hl_handle_t counter, double *value)
{
    PDH_FMT_COUNTERVALUE v;
    ZeroMemory(&v, sizeof v);
    PDH_STATUS s = PdhGetFormattedCounterValue((PDH_HCOUNTER)counter, PDH_FMT_DOUBLE, NULL, &v);
    if (s == ERROR_SUCCESS)
        *value = v.doubleValue;
    return (long)s;
}

long hl_port_pdh_remove(hl_handle_t counter)
{
    return (long)PdhRemoveCounter((PDH_HCOUNTER)counter);
}

long hl_port_pdh_close(hl_handle_t query)
{
    return (long)PdhCloseQuery((PDH_HQUERY)query);
}
