/*
 * One synchronous GET through WinHTTP. The three handles travel together in
 * a small heap block and are closed request first, root last.
 */
#include <windows.h>
#include <winhttp.h>

#include <atomic>

#include "hl_port.h"
#include "win32_util.h"
#include "winapi.h"

/* The WinHTTP functions, from the system directory. */
typedef struct winhttp_t {
    decltype(&WinHttpOpen) open;
    decltype(&WinHttpSetTimeouts) set_timeouts;
    decltype(&WinHttpSetOption) set_option;
    decltype(&WinHttpConnect) connect;
    decltype(&WinHttpOpenRequest) open_request;
    decltype(&WinHttpSendRequest) send_request;
    decltype(&WinHttpReceiveResponse) receive_response;
    decltype(&WinHttpQueryHeaders) query_headers;
    decltype(&WinHttpQueryDataAvailable) query_data_available;
    decltype(&WinHttpReadData) read_data;
    decltype(&WinHttpCloseHandle) close_handle;
} winhttp_t;

/* NULL when winhttp.dll or one of its functions cannot be had. The table is
 * filled once and published with release order, so that a thread that sees
 * it sees every entry; a thread that loses the first-use race waits the few
 * stores the winner has left. */
static const winhttp_t *winhttp(void)
{
    static winhttp_t fns;
    static std::atomic<const winhttp_t *> ready;
    static std::atomic<int> filling;
    const winhttp_t *t = ready.load(std::memory_order_acquire);
    if (t != NULL)
        return t;
    winhttp_t f;
    f.open = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpOpen);
    f.set_timeouts = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpSetTimeouts);
    f.set_option = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpSetOption);
    f.connect = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpConnect);
    f.open_request = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpOpenRequest);
    f.send_request = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpSendRequest);
    f.receive_response = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpReceiveResponse);
    f.query_headers = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpQueryHeaders);
    f.query_data_available = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpQueryDataAvailable);
    f.read_data = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpReadData);
    f.close_handle = HL_WIN32_FN(HL_DLL_WINHTTP, WinHttpCloseHandle);
    if (!f.open || !f.set_timeouts || !f.set_option || !f.connect || !f.open_request ||
        !f.send_request || !f.receive_response || !f.query_headers || !f.query_data_available ||
        !f.read_data || !f.close_handle)
        return NULL;
    if (filling.exchange(1, std::memory_order_acq_rel) == 0) {
        fns = f;
        ready.store(&fns, std::memory_order_release);
        return &fns;
    }
    while ((t = ready.load(std::memory_order_acquire)) == NULL)
        SwitchToThread();
    return t;
}

typedef struct http_session_t {
    HINTERNET root;
    HINTERNET connection;
    HINTERNET request;
} http_session_t;

static void close_all(const winhttp_t *w, http_session_t *s)
{
    if (s->request != NULL)
        w->close_handle(s->request);
    if (s->connection != NULL)
        w->close_handle(s->connection);
    if (s->root != NULL)
        w->close_handle(s->root);
}

/* Closes what was opened and hands back the phase, with the error of the
 * call that failed (taken before the closes can change it). */
static int failed(const winhttp_t *w, http_session_t *s, int phase, uint32_t *error)
{
    *error = GetLastError();
    if (w != NULL)
        close_all(w, s);
    return phase;
}

int hl_port_http_begin(const hl_port_http_request_t *r, hl_handle_t *session, uint32_t *error)
{
    *session = NULL;
    *error = 0;
    http_session_t s = {NULL, NULL, NULL};
    const winhttp_t *w = winhttp();
    if (w == NULL)
        return failed(w, &s, HL_HTTP_OPEN_FAILED, error);
    s.root = w->open(W(r->agent), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                     WINHTTP_NO_PROXY_BYPASS, 0);
    if (s.root == NULL)
        return failed(w, &s, HL_HTTP_OPEN_FAILED, error);
    w->set_timeouts(s.root, r->resolve_ms, r->connect_ms, r->send_ms, r->receive_ms);
    s.connection = w->connect(s.root, W(r->host), (INTERNET_PORT)r->port, 0);
    if (s.connection == NULL)
        return failed(w, &s, HL_HTTP_CONNECT_FAILED, error);
    s.request = w->open_request(s.connection, L"GET", W(r->path), NULL, WINHTTP_NO_REFERER,
                                WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    if (s.request == NULL)
        return failed(w, &s, HL_HTTP_REQUEST_FAILED, error);
    /* The wait for the response headers is an option of its own, and Wine
     * leaves it unbounded: a server that accepts and never answers would
     * hold WinHttpReceiveResponse for ever. The receive limit covers it. */
    DWORD headers_ms = (DWORD)r->receive_ms;
    w->set_option(s.request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headers_ms,
                  sizeof headers_ms);
    if (!w->send_request(s.request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                         0) ||
        !w->receive_response(s.request, NULL))
        return failed(w, &s, HL_HTTP_SEND_FAILED, error);
    http_session_t *block = (http_session_t *)hl_port_alloc(sizeof *block);
    if (block == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failed(w, &s, HL_HTTP_SEND_FAILED, error);
    }
    *block = s;
    *session = block;
    return HL_HTTP_OK;
}

uint32_t hl_port_http_status(hl_handle_t session)
{
    DWORD status = 0, size = sizeof status;
    if (!winhttp()->query_headers(((http_session_t *)session)->request,
                                  WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                  WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                  WINHTTP_NO_HEADER_INDEX))
        return 0;
    return status;
}

int hl_port_http_available(hl_handle_t session, uint32_t *available, uint32_t *error)
{
    DWORD n = 0;
    BOOL ok = winhttp()->query_data_available(((http_session_t *)session)->request, &n);
    *error = ok ? 0 : GetLastError();
    *available = n;
    return ok ? 1 : 0;
}

int hl_port_http_read(hl_handle_t session, void *buffer, uint32_t want, uint32_t *got,
                      uint32_t *error)
{
    DWORD n = 0;
    BOOL ok = winhttp()->read_data(((http_session_t *)session)->request, buffer, want, &n);
    *error = ok ? 0 : GetLastError();
    *got = n;
    return ok ? 1 : 0;
}

void hl_port_http_end(hl_handle_t session)
{
    http_session_t *s = (http_session_t *)session;
    close_all(winhttp(), s);
    hl_port_free(s);
}
