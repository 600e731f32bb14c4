/*
 * The Windows access layer shared by the collectors: registry strings, UTF-16
 * to UTF-8 conversion and the WMI query runner.
 */
#ifndef HL_ACCESS_H
#define HL_ACCESS_H

#include <stddef.h>
#include <stdint.h>

#include "hl_port.h"

/* KEY_READ with the 64-bit registry view. */
#define HL_KEY_READ 0x20019u
#define HL_KEY_WOW64_64KEY 0x100u
#define HL_KEY_WOW64_32KEY 0x200u
#define HL_KEY_READ64 (HL_KEY_READ | HL_KEY_WOW64_64KEY)

/* One REG_SZ or REG_EXPAND_SZ value (unexpanded) as UTF-8 into out, whole or
 * not at all. 1 on success; on failure out is untouched, or emptied when the
 * text does not fit. */
int reg_getstr(hl_hkey_t root, const char16_t *subkey, const char16_t *value_name, char *out,
               size_t out_size);

/* src as UTF-8 into dst (size bytes, at least 8): the complete text, or
 * "unknown" when src is NULL or empty or its UTF-8 form exceeds size - 2. */
void w2s(const char16_t *src, char *dst, int size);

/* ---- WMI ------------------------------------------------------------------ */

typedef void (*wmi_row_fn)(hl_handle_t row, void *ctx);

int wmi_init_once(void);
void wmi_query(const char *ns, const char *query, wmi_row_fn on_row, void *ctx);
int32_t wmi_get_str(hl_handle_t row, const char *name, char *out, int out_size);
int32_t wmi_get_num(hl_handle_t row, const char *name, int64_t *out);

#endif
