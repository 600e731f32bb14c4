/*
 * The modules a host names, in one pass: a comma-separated list of module
 * keys, of any length and any bytes.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_port.h"

extern "C" const char *hostlens_collect(const char *modules)
{
    /* Everything the pass needs is taken from the list before the pass
     * starts: the list may lie in this thread's previous document, which
     * stays intact until the new one is complete. */
    hl_module_set_t set = 0;
    int named = 0;
    hl_names_t unknown;
    memset(&unknown, 0, sizeof unknown);
    hl_list_item_t item;
    for (const char *at = modules != NULL ? modules : ""; hl_list_next(&at, &item);) {
        if (item.length == 0)
            continue;
        named = 1;
        int i = hl_module_find(item.name, item.length);
        if (i >= 0)
            set |= HL_MODULE_BIT(i);
        else
            hl_names_add(&unknown, item.name, item.length);
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
        hl_names_write(&doc, &unknown, "unknown_modules");
    }
    hl_json_raw(&doc, "}");
    if (unknown.failed) {
        hl_port_free(doc.data);
        doc.data = NULL;
    }
    hl_names_free(&unknown);

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
