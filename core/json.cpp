/*
 * The JSON text writer. It keeps no nesting state: callers write every
 * bracket and comma. Every append goes through j_put, which grows the block
 * exactly where a byte-by-byte writer would (double when length + 2 reaches
 * capacity) and keeps the text NUL-terminated.
 */
#include "hostlens_internal.h"

#include <math.h>
#include <string.h>

#include "hl_port.h"

/* A block that cannot be had fails the whole document: the buffer lets go of
 * what it holds and drops every later byte, so the caller gets NULL instead
 * of a text with holes in it. */
static void j_fail(hl_json_t *j)
{
    hl_port_free(j->data);
    j->data = NULL;
    j->length = 0;
    j->capacity = 0;
}

void hl_json_fail(hl_json_t *j)
{
    if (j != NULL)
        j_fail(j);
}

/* Room for n more bytes and the NUL, grown where byte-by-byte appends would
 * grow it: only the position of the last byte decides (length + 2 reaching
 * capacity doubles it). 0 when the document has failed. */
static int j_reserve(hl_json_t *j, size_t n)
{
    if (j == NULL || j->data == NULL)
        return 0;
    uint64_t need = j->length + n + 1; /* the last byte's index + 2 */
    if (need >= j->capacity) {
        uint64_t cap = j->capacity;
        while (need >= cap)
            cap *= 2;
        char *grown = (char *)hl_port_realloc(j->data, (size_t)cap);
        if (grown == NULL) {
            j_fail(j);
            return 0;
        }
        j->data = grown;
        j->capacity = cap;
    }
    return 1;
}

static void j_put(hl_json_t *j, const char *bytes, size_t n)
{
    if (n == 0 || !j_reserve(j, n))
        return;
    memcpy(j->data + j->length, bytes, n);
    j->length += n;
    j->data[j->length] = '\0';
}

static void j_putc(hl_json_t *j, char c)
{
    j_put(j, &c, 1);
}

void hl_json_init(hl_json_t *j)
{
    j->length = 0;
    j->capacity = HL_JSON_FIRST_BLOCK;
    j->data = (char *)hl_port_alloc(HL_JSON_FIRST_BLOCK);
    if (j->data != NULL)
        j->data[0] = '\0';
}

void hl_json_reset(hl_json_t *j)
{
    if (j == NULL)
        return;
    if (j->data != NULL)
        hl_port_free(j->data);
    hl_json_init(j);
}

const char *hl_json_get(const hl_json_t *j)
{
    if (j == NULL || j->data == NULL || j->length == 0)
        return NULL;
    return j->data;
}

/* Length of the well-formed UTF-8 sequence at s (at most `avail` bytes), or 0
 * when the bytes there are not one; *bad then holds the length of the maximal
 * invalid subpart, which becomes one U+FFFD. */
static size_t utf8_sequence(const unsigned char *s, size_t avail, size_t *bad)
{
    unsigned char c = s[0];
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF; /* range of the second byte */
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0; /* overlong */
        else if (c == 0xED)
            hi = 0x9F; /* encoded surrogates */
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90; /* overlong */
        else if (c == 0xF4)
            hi = 0x8F; /* above U+10FFFF */
    } else {
        *bad = 1;
        return 0;
    }
    size_t i = 1;
    for (; i < len && i < avail; i++) {
        unsigned char b = s[i];
        unsigned char l = (i == 1) ? lo : 0x80, h = (i == 1) ? hi : 0xBF;
        if (b < l || b > h)
            break;
    }
    if (i == len)
        return len;
    *bad = i;
    return 0;
}

/* Eight bytes at a time: non-zero when any of them is below 0x20, a quote, a
 * backslash or 0x80 and above. Each test is the classic "has a zero / has a
 * byte less than" word trick, which never misses a byte; all three borrow
 * tests are masked with ~w, as the quote and the backslash have no high bit. */
static uint64_t word_needs_care(uint64_t w)
{
    const uint64_t ones = UINT64_C(0x0101010101010101);
    const uint64_t high = UINT64_C(0x8080808080808080);
    uint64_t below = w - ones * 0x20;
    uint64_t quote = (w ^ (ones * '"')) - ones;
    uint64_t slash = (w ^ (ones * '\\')) - ones;
    return (((below | quote | slash) & ~w) | w) & high;
}

/* Length of the leading run of s[0..n) that passes unchanged. */
static size_t plain_prefix(const unsigned char *s, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        memcpy(&w, s + i, 8);
        if (word_needs_care(w) != 0)
            break;
    }
    while (i < n && s[i] >= 0x20 && s[i] < 0x80 && s[i] != '"' && s[i] != '\\')
        i++;
    return i;
}

/* The quoted text in one append. */
static void put_quoted(hl_json_t *j, const char *text, size_t n)
{
    if (!j_reserve(j, n + 2))
        return;
    char *at = j->data + j->length;
    at[0] = '"';
    if (n != 0)
        memcpy(at + 1, text, n);
    at[n + 1] = '"';
    at[n + 2] = '\0';
    j->length += n + 2;
}

void hl_json_str(hl_json_t *j, const char *text)
{
    hl_json_strn(j, text, text != NULL ? strlen(text) : 0);
}

void hl_json_strn(hl_json_t *j, const char *text, size_t n)
{
    static const char hex[] = "0123456789abcdef";
    size_t i = plain_prefix((const unsigned char *)text, n);
    if (i == n) {
        put_quoted(j, text, n);
        return;
    }
    j_putc(j, '"');
    {
        const unsigned char *s = (const unsigned char *)text;
        size_t run = 0; /* start of the pending run of bytes that pass unchanged */
        while (i < n) {
            i += plain_prefix(s + i, n - i);
            if (i == n)
                break;
            unsigned char c = s[i];
            if (c >= 0x80) {
                size_t bad = 0;
                size_t len = utf8_sequence(s + i, n - i, &bad);
                if (len != 0) {
                    i += len;
                    continue;
                }
                j_put(j, text + run, i - run);
                j_put(j, "\xEF\xBF\xBD", 3);
                i += bad;
                run = i;
                continue;
            }
            j_put(j, text + run, i - run);
            char esc[8];
            size_t elen = 2;
            esc[0] = '\\';
            switch (c) {
            case '"':
                esc[1] = '"';
                break;
            case '\\':
                esc[1] = '\\';
                break;
            case '\b':
                esc[1] = 'b';
                break;
            case '\t':
                esc[1] = 't';
                break;
            case '\n':
                esc[1] = 'n';
                break;
            case '\f':
                esc[1] = 'f';
                break;
            case '\r':
                esc[1] = 'r';
                break;
            default:
                esc[1] = 'u';
                esc[2] = '0';
                esc[3] = '0';
                esc[4] = hex[c >> 4];
                esc[5] = hex[c & 15];
                elen = 6;
                break;
            }
            j_put(j, esc, elen);
            i++;
            run = i;
        }
        j_put(j, text + run, n - run);
    }
    j_putc(j, '"');
}

void hl_json_raw(hl_json_t *j, const char *text)
{
    j_put(j, text, strlen(text));
}

void hl_json_istr(hl_json_t *j, const char *text)
{
    hl_json_str(j, (text == NULL || text[0] == '\0') ? "unknown" : text);
}

/* Decimal digits of a magnitude, right-aligned ending at end; returns the start. */
static char *u64_digits(uint64_t v, char *end)
{
    do {
        *--end = (char)('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

void hl_json_num(hl_json_t *j, int64_t n)
{
    char buf[32];
    char *end = buf + sizeof buf;
    uint64_t mag = n < 0 ? (uint64_t)0 - (uint64_t)n : (uint64_t)n;
    char *p = u64_digits(mag, end);
    if (n < 0)
        *--p = '-';
    j_put(j, p, (size_t)(end - p));
}

/* Exact decimal text of a whole double of magnitude 2^63 or more: mantissa
 * times a power of two, expanded in base 10^9. */
static void big_whole(hl_json_t *j, double x)
{
    int exp;
    double m = frexp(fabs(x), &exp); /* |x| = m * 2^exp, 0.5 <= m < 1 */
    uint64_t mant = (uint64_t)ldexp(m, 53);
    int shift = exp - 53; /* >= 11 here */
    uint32_t limb[40];    /* 10^360 > DBL_MAX */
    int nl = 0;
    while (mant != 0) {
        limb[nl++] = (uint32_t)(mant % 1000000000u);
        mant /= 1000000000u;
    }
    for (int s = 0; s < shift; s++) {
        uint32_t carry = 0;
        for (int i = 0; i < nl; i++) {
            uint64_t v = (uint64_t)limb[i] * 2 + carry;
            limb[i] = (uint32_t)(v % 1000000000u);
            carry = (uint32_t)(v / 1000000000u);
        }
        if (carry != 0)
            limb[nl++] = carry;
    }
    if (x < 0)
        j_putc(j, '-');
    char buf[16];
    char *end = buf + sizeof buf;
    char *p = u64_digits(limb[nl - 1], end);
    j_put(j, p, (size_t)(end - p));
    for (int i = nl - 2; i >= 0; i--) {
        p = u64_digits(limb[i], end);
        while (end - p < 9)
            *--p = '0';
        j_put(j, p, 9);
    }
    j_put(j, ".0", 2);
}

/*
 * One decimal, rounded from the exact binary value with ties to even, as
 * "%.1f" does on a correct C library. Done by hand because the C libraries
 * a Windows build may meet do not all round ties that way.
 */
void hl_json_dbl(hl_json_t *j, double x)
{
    if (isnan(x) || isinf(x)) {
        j_put(j, "null", 4); /* not a JSON number */
        return;
    }
    const double two63 = 9223372036854775808.0;
    if (x >= two63 || x < -two63) {
        big_whole(j, x);
        return;
    }
    double ip = trunc(x);
    double frac = fabs(x - ip); /* exact */
    uint64_t whole = (uint64_t)fabs(ip);
    unsigned digit = 0;
    if (frac != 0) {
        int exp;
        double m = frexp(frac, &exp); /* frac = m * 2^exp, exp <= 0 */
        uint64_t mant = (uint64_t)ldexp(m, 53);
        int s = 53 - exp; /* frac = mant / 2^s */
        if (s <= 60) {
            uint64_t t = mant * 10; /* < 2^57 */
            uint64_t q = t >> s;
            uint64_t rem = t & ((UINT64_C(1) << s) - 1);
            uint64_t half = UINT64_C(1) << (s - 1);
            if (rem > half || (rem == half && (q & 1) != 0))
                q++;
            if (q == 10) {
                q = 0;
                whole++;
            }
            digit = (unsigned)q;
        } /* else frac < 2^-7 * 2^-... : rounds to .0 */
    }
    char buf[32];
    char *end = buf + sizeof buf;
    *--end = (char)('0' + digit);
    *--end = '.';
    char *p = u64_digits(whole, end);
    /* A whole number keeps no sign for -0.0; a fraction keeps its sign even
     * when it rounds to zero (-0.04 gives -0.0), as "%.1f" does. */
    if (x < 0 && !(frac == 0 && whole == 0))
        *--p = '-';
    j_put(j, p, (size_t)(buf + sizeof buf - p));
}

void hl_json_fixed(hl_json_t *j, uint64_t n, unsigned decimals)
{
    if (decimals > 19)
        decimals = 19;
    char buf[48];
    char *end = buf + sizeof buf;
    char *p = end;
    for (unsigned d = 0; d < decimals; d++) {
        *--p = (char)('0' + n % 10);
        n /= 10;
    }
    if (decimals > 0)
        *--p = '.';
    p = u64_digits(n, p);
    j_put(j, p, (size_t)(end - p));
}

void hl_json_key(hl_json_t *j, const char *key)
{
    hl_json_str(j, key);
    j_putc(j, ':');
}

void hl_json_kvs(hl_json_t *j, const char *key, const char *text)
{
    hl_json_key(j, key);
    hl_json_istr(j, text);
}

void hl_json_kvn(hl_json_t *j, const char *key, int64_t n)
{
    hl_json_key(j, key);
    hl_json_num(j, n);
}

void hl_json_kvns(hl_json_t *j, const char *key, int64_t n)
{
    hl_json_key(j, key);
    if (n < 0)
        hl_json_str(j, "unknown");
    else
        hl_json_num(j, n);
}

void hl_json_kv2(hl_json_t *j, const char *k1, int64_t a, const char *k2, int64_t b)
{
    hl_json_kvn(j, k1, a);
    j_putc(j, ',');
    hl_json_kvn(j, k2, b);
}

void hl_json_kvd_unknown(hl_json_t *j, const char *key, double x)
{
    hl_json_key(j, key);
    if (x < 0)
        hl_json_str(j, "unknown");
    else
        hl_json_dbl(j, x);
}

void hl_json_kv_counter(hl_json_t *j, const char *key, uint64_t n)
{
    hl_json_key(j, key);
    if (n == UINT64_MAX)
        hl_json_str(j, "unknown");
    else
        hl_json_fixed(j, n, 0);
}

void hl_json_comma(hl_json_t *j)
{
    j_putc(j, ',');
}

void hl_json_obj_open(hl_json_t *j, const char *key)
{
    hl_json_key(j, key);
    j_putc(j, '{');
}

void hl_json_obj_close(hl_json_t *j)
{
    j_putc(j, '}');
}

void hl_json_arr_open(hl_json_t *j, const char *key)
{
    hl_json_key(j, key);
    j_putc(j, '[');
}

void hl_json_arr_close(hl_json_t *j)
{
    j_putc(j, ']');
}

void hl_json_comma_arr(hl_json_t *j)
{
    j_putc(j, ',');
}
