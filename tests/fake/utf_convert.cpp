/*
 * UTF-16 <-> UTF-8 with the rules of WideCharToMultiByte and
 * MultiByteToWideChar for CP_UTF8 and flags 0: an unpaired surrogate or an
 * invalid byte sequence becomes U+FFFD, a length of -1 includes the
 * terminator in the count, a capacity of 0 asks for the size, and a capacity
 * that is too small fails the call as a whole (0).
 */
#include "fake.h"

#include <string.h>

int fake_utf16_to_utf8_impl(const char16_t *src, int src_len, char *dst, int dst_cap)
{
    if (src == nullptr || dst_cap < 0)
        return 0;
    size_t n;
    if (src_len < 0) {
        n = 0;
        while (src[n] != 0)
            n++;
        n++; /* the terminator is converted too */
    } else {
        n = (size_t)src_len;
    }
    if (n == 0)
        return 0;
    size_t out = 0;
    for (size_t i = 0; i < n; i++) {
        uint32_t c = src[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
            src[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (src[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        unsigned char b[4];
        size_t len;
        if (c < 0x80) {
            b[0] = (unsigned char)c;
            len = 1;
        } else if (c < 0x800) {
            b[0] = (unsigned char)(0xC0 | (c >> 6));
            b[1] = (unsigned char)(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            b[0] = (unsigned char)(0xE0 | (c >> 12));
            b[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            b[2] = (unsigned char)(0x80 | (c & 0x3F));
            len = 3;
        } else {
            b[0] = (unsigned char)(0xF0 | (c >> 18));
            b[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
            b[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            b[3] = (unsigned char)(0x80 | (c & 0x3F));
            len = 4;
        }
        if (dst_cap != 0) {
            if (out + len > (size_t)dst_cap)
                return 0; /* ERROR_INSUFFICIENT_BUFFER */
            memcpy(dst + out, b, len);
        }
        out += len;
    }
    return (int)out;
}

/* Length of the well-formed sequence at s, or 0 with *bad set to the length
 * of the maximal invalid subpart. */
static size_t seq(const unsigned char *s, size_t avail, size_t *bad, uint32_t *cp)
{
    unsigned char c = s[0];
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        *cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        *cp = c & 0x0F;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        *cp = c & 0x07;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        *bad = 1;
        return 0;
    }
    size_t i = 1;
    for (; i < len && i < avail; i++) {
        unsigned char b = s[i];
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF))
            break;
        *cp = (*cp << 6) | (b & 0x3F);
    }
    if (i == len)
        return len;
    *bad = i;
    return 0;
}

int fake_utf8_to_utf16_impl(const char *src, int src_len, char16_t *dst, int dst_cap)
{
    if (src == nullptr || dst_cap < 0)
        return 0;
    size_t n = src_len < 0 ? strlen(src) + 1 : (size_t)src_len;
    if (n == 0)
        return 0;
    const unsigned char *s = (const unsigned char *)src;
    size_t out = 0;
    for (size_t i = 0; i < n;) {
        size_t bad = 0;
        uint32_t cp = 0;
        size_t len = seq(s + i, n - i, &bad, &cp);
        if (len == 0) {
            cp = 0xFFFD;
            len = bad;
        }
        i += len;
        char16_t u[2];
        size_t ulen = 1;
        if (cp >= 0x10000) {
            u[0] = (char16_t)(0xD800 + ((cp - 0x10000) >> 10));
            u[1] = (char16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
            ulen = 2;
        } else {
            u[0] = (char16_t)cp;
        }
        if (dst_cap != 0) {
            if (out + ulen > (size_t)dst_cap)
                return 0;
            memcpy(dst + out, u, ulen * sizeof(char16_t));
        }
        out += ulen;
    }
    return (int)out;
}
