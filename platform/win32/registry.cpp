/*
 * Registry: the four calls, answered as they are.
 */
#include <windows.h>

#include "hl_port.h"
#include "win32_util.h"

long hl_port_reg_open(hl_hkey_t root, const char16_t *subkey, uint32_t access, hl_hkey_t *out)
{
    HKEY key = NULL;
    LONG rc = RegOpenKeyExW((HKEY)root, W(subkey), 0, (REGSAM)access, &key);
    *out = (hl_hkey_t)key;
    return rc;
}

long hl_port_reg_query(hl_hkey_t key, const char16_t *name, uint32_t *type, void *data,
                       uint32_t *size)
{
    DWORD t = 0, s = *size;
    LONG rc = RegQueryValueExW((HKEY)key, W(name), NULL, type ? &t : NULL, (LPBYTE)data, &s);
    if (type)
        *type = t;
    *size = s;
    return rc;
}

long hl_port_reg_enum_key(hl_hkey_t key, uint32_t index, char16_t *name, uint32_t *name_len)
{
    DWORD len = *name_len;
    LONG rc = RegEnumKeyExW((HKEY)key, index, (LPWSTR)name, &len, NULL, NULL, NULL, NULL);
    *name_len = len;
    return rc;
}

void hl_port_reg_close(hl_hkey_t key)
{
    RegCloseKey((HKEY)key);
}
