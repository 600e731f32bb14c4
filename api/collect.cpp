/*
 * The modules a host names, in one pass: a comma-separated list of module
 * keys, of any length and any bytes.
 */
#include "hostlens_internal.h"

#include <string.h>

#include <algorithm>

#include "hl_port.h"

static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

/* One item of the list, blanks around it left out. */
typedef struct item_t {
    const char *name;
    size_t length; /* 0 for an empty item */
} item_t;

/* Reads the item at *at and moves *at past its comma; 0 once the list is
 * used up. */
static int next_item(const char **at, item_t *item)
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

/* An unknown name as it will be written (quoted, escaped, invalid UTF-8 as
 * U+FFFD) in a scratch text, so that names written alike count as one. */
typedef struct written_t {
    uint64_t offset, length;
    int32_t order; /* its place among the unknown names of the list */
    int32_t first; /* 1 for the first appearance of its written form */
} written_t;

typedef struct unknown_t {
    hl_json_t text; /* the names, one after another */
    written_t *names;
    int32_t count, capacity;
    int failed; /* memory ran out: the document fails */
} unknown_t;

static void unknown_add(unknown_t *u, const item_t *item)
{
    if (u->failed)
        return;
    if (u->text.data == NULL && u->count == 0)
        hl_json_init(&u->text);
    if (!hl_list_reserve((void **)&u->names, &u->capacity, u->count + 1, sizeof(written_t))) {
        u->failed = 1;
        return;
    }
    uint64_t offset = u->text.length;
    hl_json_strn(&u->text, item->name, item->length);
    if (u->text.data == NULL) {
        u->failed = 1;
        return;
    }
    written_t *w = &u->names[u->count];
    w->offset = offset;
    w->length = u->text.length - offset;
    w->order = u->count++;
    w->first = 0;
}

/* Marks the first appearance of each written form: sorted by form, then
 * by order, the first of each run is it. n log n whatever the list holds. */
static void unknown_mark_first(unknown_t *u)
{
    const char *text = u->text.data;
    written_t *n = u->names;
    std::sort(n, n + u->count, [text](const written_t &a, const written_t &b) {
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
    std::sort(n, n + u->count,
              [](const written_t &a, const written_t &b) { return a.order < b.order; });
}

static void unknown_write(hl_json_t *j, unknown_t *u)
{
    unknown_mark_first(u);
    hl_json_key(j, "unknown_modules");
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

extern "C" const char *hostlens_collect(const char *modules)
{
    /* Everything the pass needs is taken from the list before the pass
     * starts: the list may lie in this thread's previous document, which
     * stays intact until the new one is complete. */
    hl_module_set_t set = 0;
    int named = 0;
    unknown_t unknown;
    memset(&unknown, 0, sizeof unknown);
    item_t item;
    for (const char *at = modules != NULL ? modules : ""; next_item(&at, &item);) {
        if (item.length == 0)
            continue;
        named = 1;
        int i = hl_module_find(item.name, item.length);
        if (i >= 0)
            set |= HL_MODULE_BIT(i);
        else
            unknown_add(&unknown, &item);
    }
    /* Nothing named: every snapshot section that stays on the machine. */
    if (!named)
        for (int i = 0; i < HL_SNAPSHOT_MODULES; i++)
            if (!(hl_modules[i].flags & HL_MODULE_NETWORK))
                set |= HL_MODULE_BIT(i);

    hl_json_t doc;
    hl_json_init(&doc);
    int sections = 0;
    hl_pass(&doc, set, &sections);
    if (unknown.count > 0) {
        if (sections > 0)
            hl_json_comma(&doc);
        unknown_write(&doc, &unknown);
    }
    hl_json_raw(&doc, "}");
    if (unknown.failed) {
        hl_port_free(doc.data);
        doc.data = NULL;
    }
    hl_port_free(unknown.text.data);
    hl_port_free(unknown.names);

    /* The new document takes the place of the thread's previous one. */
    hl_json_t *j = hl_json_thread();
    if (j == NULL) {
        hl_port_free(doc.data);
        return NULL;
    }
    hl_port_free(j->data);
    *j = doc;
    hl_clear_error();
    return hl_json_get(j);
}
