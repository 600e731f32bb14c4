/*
 * Lists of module names, as hostlens_collect and the sampler read them: a
 * comma-separated list of any length and any bytes, and the names it gives
 * that are listed back to the host (unknown or refused), each once.
 */
#include "hostlens_internal.h"

#include <string.h>

#include <algorithm>

#include "hl_port.h"

static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

int hl_list_next(const char **at, hl_list_item_t *item)
{
    const char *p = *at;
    if (*p == '\0')
        return 0;
    const char *end = p;
    while (*end != '\0' && *end != ',')
        end++;
    *at = *end == ',' ? end + 1 : end;
    while (p < end && is_blank(*p))
        p++;
    while (end > p && is_blank(end[-1]))
        end--;
    item->name = p;
    item->length = (size_t)(end - p);
    return 1;
}

/* A name as it will be written, at text[offset..offset + length). */
struct hl_written_name_t {
    uint64_t offset, length;
    int32_t order; /* its place among the names of the list */
    int32_t first; /* 1 for the first appearance of its written form */
};

void hl_names_add(hl_names_t *u, const char *name, size_t length)
{
    if (u->failed)
        return;
    if (u->text.data == NULL && u->count == 0)
        hl_json_init(&u->text);
    if (!hl_list_reserve((void **)&u->names, &u->capacity, u->count + 1,
                         sizeof(hl_written_name_t))) {
        u->failed = 1;
        return;
    }
    uint64_t offset = u->text.length;
    hl_json_strn(&u->text, name, length);
    if (u->text.data == NULL) {
        u->failed = 1;
        return;
    }
    hl_written_name_t *w = &u->names[u->count];
    w->offset = offset;
    w->length = u->text.length - offset;
    w->order = u->count++;
    w->first = 0;
}

/* Marks the first appearance of each written form: sorted by form, then
 * by order, the first of each run is it. n log n whatever the list holds. */
static void mark_first(hl_names_t *u)
{
    const char *text = u->text.data;
    hl_written_name_t *n = u->names;
    std::sort(n, n + u->count, [text](const hl_written_name_t &a, const hl_written_name_t &b) {
        uint64_t common = a.length < b.length ? a.length : b.length;
        int c = memcmp(text + a.offset, text + b.offset, (size_t)common);
        if (c != 0)
            return c < 0;
        if (a.length != b.length)
            return a.length < b.length;
        return a.order < b.order;
    });
    for (int32_t i = 0; i < u->count; i++)
        n[i].first = i == 0 || n[i].length != n[i - 1].length ||
                     memcmp(text + n[i].offset, text + n[i - 1].offset, (size_t)n[i].length) != 0;
    std::sort(n, n + u->count, [](const hl_written_name_t &a, const hl_written_name_t &b) {
        return a.order < b.order;
    });
}

void hl_names_write(hl_json_t *j, hl_names_t *u, const char *key)
{
    /* A list that ran out of memory has lost its text: the document fails
     * as a whole, and nothing of it is read. */
    if (u->failed || u->text.data == NULL) {
        hl_json_fail(j);
        return;
    }
    mark_first(u);
    hl_json_key(j, key);
    hl_json_raw(j, "[");
    int written = 0;
    for (int32_t i = 0; i < u->count; i++) {
        if (!u->names[i].first)
            continue;
        if (written++ > 0)
            hl_json_comma(j);
        /* Already quoted and escaped. */
        char *at = u->text.data + u->names[i].offset;
        char saved = at[u->names[i].length];
        at[u->names[i].length] = '\0';
        hl_json_raw(j, at);
        at[u->names[i].length] = saved;
    }
    hl_json_raw(j, "]");
}

void hl_names_free(hl_names_t *u)
{
    hl_port_free(u->text.data);
    hl_port_free(u->names);
    memset(u, 0, sizeof *u);
}
