/*
 * The per-thread error slot. A collector leaves at most one message there
 * during a call; every document function empties it before returning.
 */
#include "hostlens_internal.h"

#include <stdarg.h>
#include <stdio.h>

/* Trivially destructible: MinGW's emulated TLS mishandles destructors. */
static thread_local char hl_err[HL_ERROR_SIZE];

void hl_set_error(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int full = vsnprintf(hl_err, sizeof hl_err, format, ap);
    va_end(ap);
    if (full < 0)
        hl_err[0] = '\0';
    else if ((size_t)full >= sizeof hl_err)
        hl_err[hl_utf8_fit(hl_err, sizeof hl_err - 1)] = '\0';
}

const char *hl_get_error(void)
{
    return hl_err;
}

void hl_clear_error(void)
{
    hl_err[0] = '\0';
}
