/*
 * One synchronous GET through WinHTTP. The three handles travel together in
 * a small heap block and are closed request first, root last.
 */
#include <windows.h>
#include <winhttp.h>

#include "hl_port.h"
#include "win32_util.h"

typedef struct http_session_t {
    HINTERNET root;
    HINTERNET connection;
    HINTERNET request;
} http_session_t;

static void close_all(http_session_t *s)
{
    if (s->request != NULL)
        WinHttpCloseHandle(s->request);
    if (s->connection != NULL)
        WinHttpCloseHandle(s->connection);
    if (s->root != NULL)
        WinHttpCloseHandle(s->root);
}

int hl_port_http_begin(const hl_port_http_request_t *r, hl_handle_t *session)
{
    *session = NULL;
    http_session_t s = {NULL, NULL, NULL};
    s.root = WinHttpOpen(W(r->agent), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, 0);
    if (s.root == NULL)
        return HL_HTTP_OPEN_FAILED;
    WinHttpSetTimeouts(s.root, r->resolve_ms, r->connect_ms, r->send_ms, r->receive_ms);
    s.connection = WinHttpConnect(s.root, W(r->host), (INTERNET_PORT)r->port, 0);
    if (s.connection == NULL) {
        close_all(&s);
        return HL_HTTP_CONNECT_FAILED;
    }
    s.request = WinHttpOpenRequest(s.connection, L"GET", W(r->path), NULL, WINHTTP_NO_REFERER,
                                   WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    if (s.request == NULL) {
        close_all(&s);
        return HL_HTTP_REQUEST_FAILED;
    }
    /* The wait for the response headers is an option of its own, and Wine
     * leaves it unbounded: a server that accepts and never answers would
     * hold WinHttpReceiveResponse for ever. The receive limit covers it. */
    DWORD headers_ms = (DWORD)r->receive_ms;
    WinHttpSetOption(s.request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headers_ms,
                     sizeof headers_ms);
    if (!WinHttpSendRequest(s.request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(s.request, NULL)) {
        close_all(&s);
        return HL_HTTP_SEND_FAILED;
    }
    http_session_t *block = (http_session_t *)hl_port_alloc(sizeof *block);
    if (block == NULL) {
        close_all(&s);
        return HL_HTTP_SEND_FAILED;
    }
    *block = s;
    *session = block;
    return HL_HTTP_OK;
}

int hl_port_http_available(hl_handle_t session, uint32_t *available)
{
    DWORD n = 0;
    BOOL ok = WinHttpQueryDataAvailable(((http_session_t *)session)->request, &n);
    *available = n;
    return ok ? 1 : 0;
}

int hl_port_http_read(hl_handle_t session, void *buffer, uint32_t want, uint32_t *got)
{
    DWORD n = 0;
    BOOL ok = WinHttpReadData(((http_session_t *)session)->request, buffer, want, &n);
    *got = n;
    return ok ? 1 : 0;
}

void hl_port_http_end(hl_handle_t session)
{
    http_session_t *s = (http_session_t *)session;
    close_all(s);
    hl_port_free(s);
}
