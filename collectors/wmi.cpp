/*
 * COM for the length of a collection, the collector layer's initialiser and
 * the WMI query runner.
 */
#include "hl_access.h"

#include "hostlens_internal.h"

#include <string.h>

#include <atomic>

/* Every writer stores the same address; the OS collector reads it right after
 * its own hl_impl_init. Threads race on it harmlessly, so the accesses are
 * atomic (relaxed) rather than plain. */
static std::atomic<void *> pRtlGetVersion;

#define HL_RPC_E_CHANGED_MODE ((int32_t)0x80010106u)
#define HL_E_INVALIDARG ((int32_t)0x80070057u)
#define HL_WBEM_FLAG_RETURN_IMMEDIATELY 0x10
/* ConnectServer otherwise may wait without bound for an unresponsive
 * winmgmt; with this flag it gives up after about two minutes. */
#define HL_WBEM_FLAG_CONNECT_USE_MAX_WAIT 0x80
/* Next waits at most this long for a row; WBEM_S_TIMEDOUT (0x40004) comes
 * back with no row and ends the enumeration like any other short answer. */
#define HL_WMI_NEXT_TIMEOUT_MS 5000

#define HL_VT_BSTR 8
#define HL_VT_I4 3
#define HL_VT_UI2 18
#define HL_VT_UI4 19
#define HL_VT_I8 20

hl_com_t hl_com_enter(void)
{
    int32_t hr = hl_port_com_init();
    /* S_OK, or S_FALSE when the thread is already in an STA: either way one
     * more entry that CoUninitialize must balance. */
    if (hr >= 0)
        return HL_COM_ENTERED;
    /* The thread is in the MTA, where WMI works just as well; it is the
     * host's, and nothing is to be balanced. */
    if (hr == HL_RPC_E_CHANGED_MODE)
        return HL_COM_BORROWED;
    return HL_COM_FAILED;
}

void hl_com_leave(hl_com_t com)
{
    if (com == HL_COM_ENTERED)
        hl_port_com_uninit();
}

/* Only the version look-up: the OS collector needs no COM, and each WMI
 * query enters COM for itself. */
void hl_impl_init(void)
{
    void *ntdll = hl_port_module_handle(u"ntdll.dll");
    if (ntdll == NULL)
        return;
    pRtlGetVersion.store(hl_port_proc_address(ntdll, "RtlGetVersion"), std::memory_order_relaxed);
}

void *wmi_rtl_get_version(void)
{
    return pRtlGetVersion.load(std::memory_order_relaxed);
}

/* UTF-8 into a zeroed UTF-16 buffer; 0 when the text does not fit. */
static int to_utf16(const char *text, char16_t *buffer, int units)
{
    memset(buffer, 0, (size_t)units * sizeof(char16_t));
    return hl_port_utf8_to_utf16(text, -1, buffer, units) > 0;
}

/* A locator, or NULL with the message left. */
static hl_handle_t make_locator(void)
{
    hl_handle_t locator = NULL;
    int32_t hr = hl_port_wmi_locator(&locator);
    if (hr >= 0 && locator != NULL)
        return locator;
    if (locator != NULL)
        hl_port_com_release(locator);
    hl_set_error("wmi: CoCreateInstance IWbemLocator failed (hr=0x%08lX)",
                 (unsigned long)(uint32_t)hr);
    return NULL;
}

/* The services of namespace ns through the locator, or NULL with the
 * message left. */
static hl_handle_t connect(hl_handle_t locator, const char *ns, const char16_t *wns)
{
    hl_handle_t services = NULL;
    int32_t hr = hl_port_wmi_connect(locator, wns, HL_WBEM_FLAG_CONNECT_USE_MAX_WAIT, &services);
    if (hr >= 0 && services != NULL)
        return services;
    if (services != NULL)
        hl_port_com_release(services);
    hl_set_error("wmi: ConnectServer %s failed (hr=0x%08lX)", ns, (unsigned long)(uint32_t)hr);
    return NULL;
}

/* The session's services of ns: made at its first query, NULL ever after
 * when that failed. NULL too when the session has no room for another
 * namespace (the caller then connects on its own). */
static hl_handle_t session_services(hl_wmi_session_t *s, const char *ns, const char16_t *wns,
                                    int *full)
{
    *full = 0;
    for (int i = 0; i < s->count; i++)
        if (strcmp(s->spaces[i].ns, ns) == 0)
            return s->spaces[i].services;
    if (s->count >= HL_WMI_SESSION_SPACES || strlen(ns) >= sizeof s->spaces[0].ns) {
        *full = 1;
        return NULL;
    }
    if (!s->locator_tried) {
        s->locator_tried = 1;
        s->locator = make_locator();
    }
    hl_handle_t services = s->locator != NULL ? connect(s->locator, ns, wns) : NULL;
    hl_copy(s->spaces[s->count].ns, sizeof s->spaces[0].ns, ns);
    s->spaces[s->count].services = services;
    s->count++;
    return services;
}

void hl_wmi_session_begin(hl_wmi_session_t *s)
{
    memset(s, 0, sizeof *s);
    /* Made here when the thread has none yet: without it the session would
     * silently share nothing. Without memory it shares nothing, and each
     * query connects for itself. */
    hl_thread_state_t *t = hl_thread_state(1);
    if (t != NULL)
        t->wmi = s;
}

void hl_wmi_session_end(hl_wmi_session_t *s)
{
    hl_thread_state_t *t = hl_thread_state(0);
    if (t != NULL && t->wmi == s)
        t->wmi = NULL;
    for (int i = 0; i < s->count; i++)
        if (s->spaces[i].services != NULL)
            hl_port_com_release(s->spaces[i].services);
    if (s->locator != NULL)
        hl_port_com_release(s->locator);
    memset(s, 0, sizeof *s);
}

static void run_query(const char *ns, const char *query, wmi_row_fn on_row, void *ctx)
{
    char16_t wns[64];
    char16_t wquery[512];
    /* An unconverted name would reach ConnectServer as an empty path, which
     * means the default namespace: refuse it instead. */
    if (!to_utf16(ns, wns, 64) || !to_utf16(query, wquery, 512))
        return;
    hl_thread_state_t *t = hl_thread_state(0);
    hl_wmi_session_t *session = t != NULL ? t->wmi : NULL;
    int full = 0;
    hl_handle_t services = NULL;
    if (session != NULL)
        services = session_services(session, ns, wns, &full);
    int own = session == NULL || full;
    if (own) {
        hl_handle_t locator = make_locator();
        if (locator == NULL)
            return;
        services = connect(locator, ns, wns);
        hl_port_com_release(locator);
    }
    if (services == NULL)
        return;
    hl_handle_t enumerator = NULL;
    int32_t hr = hl_port_wmi_exec(services, wquery, HL_WBEM_FLAG_RETURN_IMMEDIATELY, &enumerator);
    if (hr < 0 || enumerator == NULL) {
        if (enumerator != NULL)
            hl_port_com_release(enumerator);
        if (own)
            hl_port_com_release(services);
        /* A success without an enumerator is reported like the connection's
         * (hr=0x00000000): there is nothing to enumerate. */
        hl_set_error("wmi: Query \"%s\" failed (hr=0x%08lX)", query, (unsigned long)(uint32_t)hr);
        return;
    }
    for (;;) {
        hl_handle_t row = NULL;
        uint32_t returned = 0;
        hr = hl_port_wmi_next(enumerator, HL_WMI_NEXT_TIMEOUT_MS, &row, &returned);
        if (hr < 0 || returned != 1 || row == NULL) {
            if (row != NULL)
                hl_port_com_release(row);
            break;
        }
        on_row(row, ctx);
        hl_port_com_release(row);
    }
    hl_port_com_release(enumerator);
    if (own)
        hl_port_com_release(services);
}

void wmi_query(const char *ns, const char *query, wmi_row_fn on_row, void *ctx)
{
    hl_com_t com = hl_com_enter();
    if (com != HL_COM_FAILED)
        run_query(ns, query, on_row, ctx);
    hl_com_leave(com);
}

/* Get one property; on success the caller clears the variant. */
static int32_t get_property(hl_handle_t row, const char *name, hl_port_variant_t *v)
{
    char16_t wname[128];
    if (!to_utf16(name, wname, 128))
        return HL_E_INVALIDARG;
    memset(v, 0, sizeof *v);
    return hl_port_wmi_get(row, wname, v);
}

int32_t wmi_get_str(hl_handle_t row, const char *name, char *out, int out_size)
{
    hl_port_variant_t v;
    int32_t hr = get_property(row, name, &v);
    if (hr < 0)
        return hr;
    if (v.vt == HL_VT_BSTR && v.str != NULL)
        w2s(v.str, out, out_size);
    return hl_port_variant_clear(&v);
}

int32_t wmi_get_num(hl_handle_t row, const char *name, int64_t *out)
{
    hl_port_variant_t v;
    int32_t hr = get_property(row, name, &v);
    if (hr < 0)
        return hr;
    switch (v.vt) {
    case HL_VT_I4:
    case HL_VT_UI4:
    case HL_VT_I8:
    case HL_VT_UI2:
        *out = v.num;
        break;
    default:
        break;
    }
    return hl_port_variant_clear(&v);
}
