/*
 * Bounded text copies that never split a UTF-8 character.
 */
#include "hostlens_internal.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

size_t hl_utf8_fit(const char *text, size_t n)
{
    /* Look back at most three bytes for the lead of the last character; when
     * that character needs more bytes than remain before n, cut before it. */
    for (size_t k = 1; k <= 3 && k <= n; k++) {
        unsigned char c = (unsigned char)text[n - k];
        if ((c & 0xC0) == 0x80)
            continue;
        size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return len > k ? n - k : n;
    }
    return n;
}

void hl_copy(char *dst, size_t size, const char *src)
{
    if (size == 0)
        return;
    if (src == NULL)
        src = "";
    size_t n = strlen(src);
    if (n >= size)
        n = hl_utf8_fit(src, size - 1);
    memmove(dst, src, n);
    dst[n] = '\0';
}

void hl_format(char *dst, size_t size, const char *format, ...)
{
    if (size == 0)
        return;
    va_list ap;
    va_start(ap, format);
    int full = vsnprintf(dst, size, format, ap);
    va_end(ap);
    if (full < 0) {
        dst[0] = '\0';
        return;
    }
    if ((size_t)full >= size)
        dst[hl_utf8_fit(dst, size - 1)] = '\0';
}
