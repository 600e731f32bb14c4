/*
 * Registry strings, registry numbers and UTF-16 text, delivered whole or not
 * at all.
 */
#include "hl_access.h"

#include "hostlens_internal.h"

#include <string.h>

#define HL_REG_SZ 1u
#define HL_REG_EXPAND_SZ 2u
#define HL_REG_BINARY 3u
#define HL_REG_DWORD 4u
#define HL_REG_QWORD 11u

int reg_key_str(hl_hkey_t key, const char16_t *value_name, char *out, size_t out_size)
{
    /* Nothing fits, not even the terminator: leave the buffer alone. */
    if (out_size == 0)
        return 0;
    uint32_t size = 0;
    if (hl_port_reg_query(key, value_name, NULL, NULL, &size) != 0 || size < 2)
        return 0;
    uint32_t allocated = size;
    char16_t *block = (char16_t *)hl_port_alloc(allocated);
    if (block == NULL)
        return 0;
    uint32_t type = 0;
    long rc = hl_port_reg_query(key, value_name, &type, block, &size);
    if (rc != 0 || (type != HL_REG_SZ && type != HL_REG_EXPAND_SZ)) {
        hl_port_free(block);
        return 0;
    }
    /* The stored data need not end with a NUL: never read past what the
     * query returned. */
    size_t units = (size < allocated ? size : allocated) / 2;
    size_t len = 0;
    while (len < units && block[len] != 0)
        len++;
    int n = 0;
    if (len == 0) {
        n = 0;
    } else if (out_size >= 2) {
        int cap = out_size - 1 > 0x7FFFFFFF ? 0x7FFFFFFF : (int)(out_size - 1);
        n = hl_port_utf16_to_utf8(block, (int)len, out, cap);
        if (n <= 0) {
            hl_port_free(block);
            out[0] = '\0';
            return 0;
        }
    } else {
        hl_port_free(block);
        if (out_size > 0)
            out[0] = '\0';
        return 0;
    }
    hl_port_free(block);
    out[n] = '\0';
    out[out_size - 1] = '\0';
    return 1;
}

int reg_getstr(hl_hkey_t root, const char16_t *subkey, const char16_t *value_name, char *out,
               size_t out_size)
{
    if (out_size == 0)
        return 0;
    hl_hkey_t key = 0;
    if (hl_port_reg_open(root, subkey, HL_KEY_READ64, &key) != 0)
        return 0;
    int ok = reg_key_str(key, value_name, out, out_size);
    hl_port_reg_close(key);
    return ok;
}

int reg_key_uint(hl_hkey_t key, const char16_t *value_name, uint32_t width, int binary_ok,
                 uint64_t *out)
{
    if (width != 4 && width != 8)
        return 0;
    /* A value longer than these 8 bytes fails the query (ERROR_MORE_DATA). */
    uint8_t data[8] = {0};
    uint32_t type = 0;
    uint32_t size = sizeof data;
    if (hl_port_reg_query(key, value_name, &type, data, &size) != 0 || size != width)
        return 0;
    uint32_t number_type = width == 4 ? HL_REG_DWORD : HL_REG_QWORD;
    if (type != number_type && !(binary_ok && type == HL_REG_BINARY))
        return 0;
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; i++)
        v |= (uint64_t)data[i] << (8 * i);
    *out = v;
    return 1;
}

int reg_getdword(hl_hkey_t root, const char16_t *subkey, const char16_t *value_name, uint32_t *out)
{
    hl_hkey_t key = 0;
    if (hl_port_reg_open(root, subkey, HL_KEY_READ64, &key) != 0)
        return 0;
    uint64_t v = 0;
    int ok = reg_key_uint(key, value_name, 4, 0, &v);
    hl_port_reg_close(key);
    if (ok)
        *out = (uint32_t)v;
    return ok;
}

void w2s(const char16_t *src, char *dst, int size)
{
    if (src != NULL && src[0] != 0 && size >= 2) {
        int n = hl_port_utf16_to_utf8(src, -1, dst, size - 1);
        if (n > 0) {
            dst[n - 1] = '\0';
            return;
        }
    }
    memcpy(dst, "unknown", 8);
}

int hl_u16_same(const char16_t *a, const char16_t *b)
{
    for (;; a++, b++) {
        char16_t x = *a >= u'A' && *a <= u'Z' ? (char16_t)(*a + 32) : *a;
        char16_t y = *b >= u'A' && *b <= u'Z' ? (char16_t)(*b + 32) : *b;
        if (x != y)
            return 0;
        if (x == 0)
            return 1;
    }
}
