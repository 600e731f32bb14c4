/*
 * The calling thread's JSON buffer and the envelope every module document is
 * written in.
 */
#include "hostlens_internal.h"

/* The record is made zeroed, so the first reset of a thread's buffer
 * allocates its first block. */
hl_json_t *hl_json_thread(void)
{
    hl_thread_state_t *s = hl_thread_state(1);
    return s != NULL ? &s->json : NULL;
}

static hl_json_t *begin(const char *key, const char *open)
{
    hl_json_t *j = hl_json_thread();
    hl_json_reset(j);
    hl_json_raw(j, "{");
    hl_json_key(j, key);
    hl_json_raw(j, open);
    return j;
}

hl_json_t *begin_module(const char *key)
{
    return begin(key, "{");
}

hl_json_t *begin_module_arr(const char *key)
{
    return begin(key, "[");
}

static const char *end(const char *close)
{
    hl_json_t *j = hl_json_thread();
    hl_json_raw(j, close);
    hl_clear_error();
    return hl_json_get(j);
}

const char *end_module(void)
{
    return end("}}");
}

const char *end_module_arr(void)
{
    return end("]}");
}
