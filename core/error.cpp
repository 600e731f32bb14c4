/*
 * The per-thread error slot. A collector leaves at most one message there
 * during a call; every document function empties it before returning.
 */
#include "hostlens_internal.h"

#include <stdarg.h>
#include <stdio.h>

/* Without a record for the thread the message is dropped. */
void hl_set_error(const char *format, ...)
{
    hl_thread_state_t *s = hl_thread_state(1);
    if (s == NULL)
        return;
    char *slot = s->error;
    va_list ap;
    va_start(ap, format);
    int full = vsnprintf(slot, HL_ERROR_SIZE, format, ap);
    va_end(ap);
    if (full < 0)
        slot[0] = '\0';
    else if ((size_t)full >= HL_ERROR_SIZE)
        slot[hl_utf8_fit(slot, HL_ERROR_SIZE - 1)] = '\0';
}

/* A thread without a record has nothing pending; asking makes none. */
const char *hl_get_error(void)
{
    hl_thread_state_t *s = hl_thread_state(0);
    return s != NULL ? s->error : "";
}

void hl_clear_error(void)
{
    hl_thread_state_t *s = hl_thread_state(0);
    if (s != NULL)
        s->error[0] = '\0';
}
