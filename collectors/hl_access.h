/*
 * The Windows access layer shared by the collectors: registry strings and
 * numbers, UTF-16 to UTF-8 conversion and the WMI query runner.
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
/* The same from a key the caller opened (and closes). */
int reg_key_str(hl_hkey_t key, const char16_t *value_name, char *out, size_t out_size);

/* An unsigned little-endian number of `width` bytes (4 or 8) from an open
 * key: a REG_DWORD (width 4) or REG_QWORD (width 8) value, or, with
 * binary_ok, a REG_BINARY value of exactly `width` bytes. 1 on success; *out
 * untouched for any other type or size, or a missing value. */
int reg_key_uint(hl_hkey_t key, const char16_t *value_name, uint32_t width, int binary_ok,
                 uint64_t *out);
/* A REG_DWORD value of root\subkey in the 64-bit view, as reg_key_uint
 * reads it. */
int reg_getdword(hl_hkey_t root, const char16_t *subkey, const char16_t *value_name, uint32_t *out);

/* src as UTF-8 into dst (size bytes, at least 8): the complete text, or
 * "unknown" when src is NULL or empty or its UTF-8 form exceeds size - 2. */
void w2s(const char16_t *src, char *dst, int size);

/* 1 when a and b are equal, ASCII letters compared without case (as the
 * registry and the object manager compare names). */
int hl_u16_same(const char16_t *a, const char16_t *b);

/* ---- WMI ------------------------------------------------------------------ */

/* Called once per result row, on the querying thread, while the row is valid;
 * the runner releases the row when the callback returns. */
typedef void (*wmi_row_fn)(hl_handle_t row, void *ctx);

/* COM on the calling thread for as long as a caller needs it, left as the
 * thread had it. Entries nest: a pass that enters once around several WMI
 * queries makes each query's own entry a cheap S_FALSE. */
typedef enum hl_com_t {
    HL_COM_FAILED = 0,  /* CoInitializeEx failed: no COM call may be made */
    HL_COM_ENTERED = 1, /* S_OK or S_FALSE: hl_com_leave calls CoUninitialize */
    HL_COM_BORROWED = 2 /* RPC_E_CHANGED_MODE: the thread's own MTA, left alone */
} hl_com_t;
hl_com_t hl_com_enter(void);
void hl_com_leave(hl_com_t com);

/* One pass's WMI connections: the locator, and each namespace's services
 * made at the first query of that namespace and kept for the later ones,
 * until hl_wmi_session_end releases them. A connection that failed is not
 * tried again in the session. The session lives in the pass's frame, inside
 * the pass's own COM entry, and is the calling thread's between begin and
 * end: every wmi_query on the thread in between uses it. */
#define HL_WMI_SESSION_SPACES 4
typedef struct hl_wmi_session_t {
    hl_handle_t locator;
    int locator_tried;
    struct {
        char ns[64];
        hl_handle_t services; /* NULL: the connection failed */
    } spaces[HL_WMI_SESSION_SPACES];
    int count;
} hl_wmi_session_t;
void hl_wmi_session_begin(hl_wmi_session_t *s);
void hl_wmi_session_end(hl_wmi_session_t *s);

/* Runs one WQL query in namespace ns and hands every row to on_row, inside
 * its own hl_com_enter and hl_com_leave. Failures of the locator, the
 * connection and the query leave one message in the thread's error slot; a
 * failed COM entry and a failed or timed-out Next leave none. */
void wmi_query(const char *ns, const char *query, wmi_row_fn on_row, void *ctx);
/* A VT_BSTR property through w2s; out untouched for any other type. */
int32_t wmi_get_str(hl_handle_t row, const char *name, char *out, int out_size);
/* A VT_I4, VT_UI4, VT_I8 or VT_UI2 property; *out untouched otherwise. */
int32_t wmi_get_num(hl_handle_t row, const char *name, int64_t *out);

/* The address of ntdll's RtlGetVersion as hl_impl_init last found it, or
 * NULL. */
void *wmi_rtl_get_version(void);

#endif
