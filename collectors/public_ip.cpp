/*
 * The public address and its location, from one plain-HTTP GET to the
 * geolocation service named at build time.
 */
#include "hostlens_internal.h"

#include "hl_port.h"

#include <string.h>

#ifndef HOSTLENS_PUBLIC_IP_HOST
#define HOSTLENS_PUBLIC_IP_HOST "ip-api.com"
#endif
#ifndef HOSTLENS_PUBLIC_IP_PORT
#define HOSTLENS_PUBLIC_IP_PORT 80
#endif

#define HL_U16_(s) u##s
#define HL_U16(s) HL_U16_(s)

#define BODY_MAX 2047u
#define PHASE_TIMEOUT_MS 2000

/* Copies the string value that follows "key" in text into out (64 bytes),
 * or leaves out as it is. Escapes are not decoded. text is NUL-ended and
 * nothing past its NUL is read. */
static void json_str_val(const char *text, const char *key, char *out)
{
    char pattern[32];
    hl_format(pattern, sizeof pattern, "\"%s\"", key);
    const char *at = strstr(text, pattern);
    if (at == NULL)
        return;
    const char *open = strchr(at + strlen(pattern), '"');
    if (open == NULL)
        return;
    const char *close = strchr(open + 1, '"');
    if (close == NULL || close == open + 1)
        return;
    hl_format(out, 64, "%.*s", (int)(close - open - 1), open + 1);
}

/* Reads at most BODY_MAX bytes, whatever the server declares or a read
 * claims to have delivered. Returns the byte count, or -1 when the body was
 * still arriving after PHASE_TIMEOUT_MS. WinHTTP's receive timeout bounds
 * each wait for data, not the whole body: a server that trickles one byte
 * a second never trips it, so the body gets an overall deadline of its own.
 * *error is the code of a wait or read that failed, 0 when none did. */
static int32_t read_body(hl_handle_t session, char *body, uint32_t *error)
{
    uint64_t start = hl_port_tick_count();
    uint32_t n = 0;
    int late = 0;
    *error = 0;
    while (n < BODY_MAX) {
        if (hl_port_tick_count() - start >= PHASE_TIMEOUT_MS) {
            late = 1;
            break;
        }
        uint32_t available = 0;
        if (!hl_port_http_available(session, &available, error) || available == 0)
            break;
        uint32_t want = available > BODY_MAX - n ? BODY_MAX - n : available;
        uint32_t got = 0;
        if (!hl_port_http_read(session, body + n, want, &got, error) || got == 0)
            break;
        n += got < want ? got : want;
    }
    body[n] = '\0';
    return late ? -1 : (int32_t)n;
}

/* What a WinHTTP error code means to someone wondering why there is no
 * address (winhttp.h), or NULL for the rest, which are given by number.
 * Wine's WinHTTP passes some socket errors through as they are (a receive
 * that times out fails with WSAETIMEDOUT), so those read the same. */
static const char *http_reason(uint32_t error)
{
    switch (error) {
    case 12002: /* ERROR_WINHTTP_TIMEOUT */
    case 10060: /* WSAETIMEDOUT */
        return "timed out";
    case 12007: /* ERROR_WINHTTP_NAME_NOT_RESOLVED */
    case 11001: /* WSAHOST_NOT_FOUND */
        return "the name could not be resolved";
    case 12029: /* ERROR_WINHTTP_CANNOT_CONNECT */
    case 10061: /* WSAECONNREFUSED */
        return "the connection was refused or the host is unreachable";
    case 12030: /* ERROR_WINHTTP_CONNECTION_ERROR */
    case 10054: /* WSAECONNRESET */
        return "the connection was reset";
    case 12152: /* ERROR_WINHTTP_INVALID_SERVER_RESPONSE */
        return "the answer was not HTTP";
    default:
        return NULL;
    }
}

/* The message of a request that failed in `phase` with `error`: the
 * reason where the code has a plain one, and the code always. */
static void request_failed(int phase, uint32_t error)
{
    static const char *const calls[] = {"", "WinHttpOpen", "WinHttpConnect", "WinHttpOpenRequest"};
    char code[40] = "";
    if (error != 0)
        hl_format(code, sizeof code, " (error %u)", (unsigned)error);
    if (phase >= HL_HTTP_OPEN_FAILED && phase <= HL_HTTP_REQUEST_FAILED)
        hl_set_error("public_ip: %s failed%s", calls[phase], code);
    else
        hl_set_error("public_ip: %s: %s%s", HOSTLENS_PUBLIC_IP_HOST,
                     http_reason(error) ? http_reason(error) : "request failed", code);
}

void hl_impl_public_ip(hl_public_ip_info_t *out)
{
    memset(out, 0, sizeof *out);
    hl_copy(out->ip, sizeof out->ip, "unknown");
    hl_copy(out->country, sizeof out->country, "unknown");
    hl_copy(out->city, sizeof out->city, "unknown");

    hl_port_http_request_t request;
    request.host = HL_U16(HOSTLENS_PUBLIC_IP_HOST);
    request.port = (uint16_t)HOSTLENS_PUBLIC_IP_PORT;
    request.path = u"/json?fields=query,country,city";
    request.agent = u"zephrion-hostlens/1.0";
    request.resolve_ms = request.connect_ms = PHASE_TIMEOUT_MS;
    request.send_ms = request.receive_ms = PHASE_TIMEOUT_MS;

    hl_handle_t session = NULL;
    uint32_t error = 0;
    int phase = hl_port_http_begin(&request, &session, &error);
    if (phase != HL_HTTP_OK || session == NULL) {
        request_failed(phase, error);
        return;
    }

    /* A refusal by the service or a proxy on the way (403, 407, the
     * service's 429 when many machines share one address) says so, rather
     * than "no IP" from a body that was never an answer. */
    uint32_t status = hl_port_http_status(session);
    if (status != 0 && (status < 200 || status > 299)) {
        hl_port_http_end(session);
        hl_set_error("public_ip: %s: HTTP %u", HOSTLENS_PUBLIC_IP_HOST, (unsigned)status);
        return;
    }

    char body[BODY_MAX + 1];
    memset(body, 0, sizeof body);
    uint32_t read_error = 0;
    int32_t n = read_body(session, body, &read_error);
    hl_port_http_end(session);
    if (n < 0) {
        hl_set_error("public_ip: %s: the answer took longer than %d s", HOSTLENS_PUBLIC_IP_HOST,
                     PHASE_TIMEOUT_MS / 1000);
        return;
    }
    /* A body cut short still gives what arrived; a failed wait explains an
     * answer that holds no address, the empty one included (below). */
    if (n == 0 && read_error == 0) {
        hl_set_error("public_ip: %s: empty answer", HOSTLENS_PUBLIC_IP_HOST);
        return;
    }
    /* The body text ends at its first NUL; everything below reads no further. */
    if (strstr(body, "\"error\"") != NULL) {
        hl_set_error("public_ip: %s returned an error", HOSTLENS_PUBLIC_IP_HOST);
        return;
    }
    json_str_val(body, "query", out->ip);
    json_str_val(body, "country", out->country);
    json_str_val(body, "city", out->city);
    if (strcmp(out->ip, "unknown") != 0)
        return;
    if (read_error != 0)
        request_failed(HL_HTTP_SEND_FAILED, read_error);
    else
        hl_set_error("public_ip: no IP returned");
}
