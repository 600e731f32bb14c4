/*
 * The full snapshot: every collector runs first, in a fixed order, so the
 * document reflects one collection pass; only then are the sections written.
 * Each module's members come from the same writer as its own document.
 */
#include "hostlens_internal.h"

/* One section: "key":{members}, or "key":[entries] for a list, then the comma
 * that separates it from the next section (the logo member comes last). */
static void open_section(hl_json_t *j, const char *key, const char *bracket)
{
    hl_json_key(j, key);
    hl_json_raw(j, bracket);
}

static void close_section(hl_json_t *j, const char *bracket)
{
    hl_json_raw(j, bracket);
    hl_json_comma(j);
}

extern "C" const char *hostlens_get_all(void)
{
    hl_json_t *j = hl_json_thread();
    hl_json_reset(j);
    hl_json_raw(j, "{");

    /* Collection phase. */
    hl_memory_info_t memory;
    hl_swap_info_t swap;
    hl_impl_memory(&memory);
    hl_impl_swap(&swap);

    /* Emission phase. */
    open_section(j, "memory", "{");
    hl_write_memory(j, &memory);
    close_section(j, "}");
    open_section(j, "swap", "{");
    hl_write_swap(j, &swap);
    close_section(j, "}");

    hl_json_key(j, "logo");
    hl_json_str(j, hostlens_logo("generic"));
    hl_json_raw(j, "}");
    hl_clear_error();
    return hl_json_get(j);
}
