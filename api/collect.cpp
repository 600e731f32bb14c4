/*
 * The modules a host names, in one pass: a comma-separated list of section
 * keys, read where it lies (never copied, whatever its length).
 */
#include "hostlens_internal.h"

#include <string.h>

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

static int same(const item_t *a, const item_t *b)
{
    return a->length == b->length && memcmp(a->name, b->name, a->length) == 0;
}

static int is_unknown(const item_t *item)
{
    return item->length > 0 && hl_module_find(item->name, item->length) < 0;
}

/* Unknown names are listed once each, in the order given, without copying
 * the list or taking memory for it: a round gathers the next BATCH different
 * names of the list in a set on the stack, drops those that the part of the
 * list before the round already held, and writes the rest. A handful of
 * names takes one round; any list takes one round per BATCH names, each a
 * walk over the list. */
#define BATCH 1024
#define SLOTS (2 * BATCH) /* a power of two, at most half full */

typedef struct batch_t {
    item_t names[BATCH]; /* in the order of their first appearance */
    unsigned char listed[BATCH];
    uint16_t slots[SLOTS]; /* 1 + index into names; 0 for a free slot */
    int count;
} batch_t;

static uint32_t slot_of(const item_t *item)
{
    uint32_t h = 2166136261u; /* FNV-1a */
    for (size_t i = 0; i < item->length; i++)
        h = (h ^ (unsigned char)item->name[i]) * 16777619u;
    return h & (SLOTS - 1);
}

/* The index of the name in the batch; with `add`, a new name is added while
 * there is room. -1 when it is not (or no longer can be) in the batch. */
static int batch_find(batch_t *b, const item_t *item, int add)
{
    uint32_t s = slot_of(item);
    for (; b->slots[s] != 0; s = (s + 1) & (SLOTS - 1))
        if (same(&b->names[b->slots[s] - 1], item))
            return b->slots[s] - 1;
    if (!add || b->count == BATCH)
        return -1;
    b->names[b->count] = *item;
    b->listed[b->count] = 0;
    b->slots[s] = (uint16_t)(++b->count);
    return b->count - 1;
}

static void write_unknown(hl_json_t *j, const char *list)
{
    batch_t b;
    int written = 0;
    item_t item;
    for (const char *from = list; *from != '\0';) {
        b.count = 0;
        memset(b.slots, 0, sizeof b.slots);
        const char *at = from, *next = "";
        for (const char *before = at; next_item(&at, &item); before = at) {
            if (is_unknown(&item) && batch_find(&b, &item, 1) < 0) {
                next = before; /* the batch is full: the next round starts here */
                break;
            }
        }
        for (const char *p = list; p < from && next_item(&p, &item);) {
            int i = is_unknown(&item) ? batch_find(&b, &item, 0) : -1;
            if (i >= 0)
                b.listed[i] = 1;
        }
        for (int i = 0; i < b.count; i++) {
            if (b.listed[i])
                continue;
            if (written++ > 0)
                hl_json_comma(j);
            hl_json_strn(j, b.names[i].name, b.names[i].length);
        }
        from = next;
    }
}

extern "C" const char *hostlens_collect(const char *modules)
{
    hl_module_set_t set = 0;
    int named = 0, unknown = 0;
    item_t item;
    for (const char *at = modules != NULL ? modules : ""; next_item(&at, &item);) {
        if (item.length == 0)
            continue;
        named = 1;
        int i = hl_module_find(item.name, item.length);
        if (i >= 0)
            set |= (hl_module_set_t)1u << i;
        else
            unknown = 1;
    }
    /* Nothing named: every module that stays on the machine. */
    if (!named)
        for (int i = 0; i < HL_MODULE_COUNT; i++)
            if (!(hl_modules[i].flags & HL_MODULE_NETWORK))
                set |= (hl_module_set_t)1u << i;

    int sections = 0;
    hl_json_t *j = hl_pass(set, &sections);
    if (unknown) {
        if (sections > 0)
            hl_json_comma(j);
        hl_json_key(j, "unknown_modules");
        hl_json_raw(j, "[");
        write_unknown(j, modules);
        hl_json_raw(j, "]");
    }
    hl_json_raw(j, "}");
    hl_clear_error();
    return hl_json_get(j);
}
