/*
 * The calling thread's JSON buffer and the envelope every module document is
 * written in.
 */
#include "hostlens_internal.h"

#include <atomic>

/* Set once some thread's buffer was initialised. Two threads racing on their
 * first calls may both initialise their own buffers, which is harmless; the
 * flag is atomic only so that the race is a well-defined one. */
static std::atomic<int> hl_j_ready;

hl_json_t *hl_json_thread(void)
{
    hl_thread_state_t *s = hl_thread_state(1);
    if (s == NULL)
        return NULL;
    if (!hl_j_ready.load(std::memory_order_relaxed)) {
        hl_json_init(&s->json);
        hl_j_ready.store(1, std::memory_order_relaxed);
    }
    return &s->json;
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
