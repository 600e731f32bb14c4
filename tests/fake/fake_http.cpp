/*
 * One synchronous HTTP GET: the phase it fails in, the body handed out in
 * chunks of scripted announced sizes, and the handles it holds (one per
 * WinHTTP handle, three for a session that got its response).
 */
#include "fake.h"

#include <string.h>

namespace
{

struct session {
    size_t offset;
    size_t announced; /* entries of the announce list used */
};

struct {
    int phase;
    uint32_t error;
    std::string body;
    std::vector<uint32_t> announce;
    fake_http_request last;
    std::vector<uint32_t> reads;
    uint32_t wait_ms;
    uint32_t status;
    session *open;
} http;

void reset_http()
{
    http.phase = HL_HTTP_OK;
    http.error = 0;
    http.body = "{\"query\":\"203.0.113.7\",\"country\":\"Germany\",\"city\":\"Berlin\"}";
    http.announce.clear();
    http.last = fake_http_request{"", "", "", 0, 0, 0, 0, 0};
    http.reads.clear();
    http.wait_ms = 0;
    http.status = 200;
    delete http.open;
    http.open = nullptr;
}

fake_registrar registrar(reset_http);

session *check(hl_handle_t h)
{
    return h != nullptr && h == http.open ? http.open : nullptr;
}

} // namespace

void fake_http_set_phase(int phase, uint32_t error)
{
    http.phase = phase;
    http.error = error;
}

void fake_http_set_body(const std::string &body, const std::vector<uint32_t> &announce)
{
    http.body = body;
    http.announce = announce;
}

const fake_http_request &fake_http_last_request()
{
    return http.last;
}

const std::vector<uint32_t> &fake_http_reads()
{
    return http.reads;
}

void fake_http_set_status(uint32_t status)
{
    http.status = status;
}

uint32_t hl_port_http_status(hl_handle_t h)
{
    FAKE_GUARD;
    session *s = check(h);
    if (fake_hit(FAKE_HTTP_STATUS) || s == nullptr)
        return 0;
    return http.status;
}

void fake_http_set_wait(uint32_t ms)
{
    http.wait_ms = ms;
}

int hl_port_http_begin(const hl_port_http_request_t *r, hl_handle_t *out, uint32_t *error)
{
    FAKE_GUARD;
    *out = nullptr;
    *error = 0;
    http.last =
        fake_http_request{fake_u8(r->host), fake_u8(r->path), fake_u8(r->agent), r->port,
                          r->resolve_ms,    r->connect_ms,    r->send_ms,        r->receive_ms};
    long code = 0;
    if (fake_hit(FAKE_HTTP_BEGIN, &code, HL_HTTP_SEND_FAILED))
        return (int)code;
    if (http.phase != HL_HTTP_OK) {
        *error = http.error;
        return http.phase; /* what it opened is closed again */
    }
    if (http.open != nullptr)
        return HL_HTTP_OPEN_FAILED; /* one session at a time */
    http.open = new session{0, 0};
    for (int i = 0; i < 3; i++) /* root, connection, request */
        fake_acquire(FAKE_RES_HTTP);
    *out = http.open;
    return HL_HTTP_OK;
}

/* A failed call's error: the rule's code, else a timeout's. */
static bool failed(fake_op op, uint32_t *error)
{
    long code = 0;
    *error = 0;
    if (!fake_hit(op, &code, 12002))
        return false;
    *error = (uint32_t)code;
    return true;
}

int hl_port_http_available(hl_handle_t h, uint32_t *available, uint32_t *error)
{
    FAKE_GUARD;
    session *s = check(h);
    if (http.wait_ms != 0) /* threads share the clock; leave it alone unless asked */
        fake_advance_tick_count(http.wait_ms);
    if (failed(FAKE_HTTP_AVAILABLE, error) || s == nullptr)
        return 0;
    size_t left = http.body.size() - s->offset;
    if (s->announced < http.announce.size())
        *available = http.announce[s->announced++];
    else
        *available = (uint32_t)left;
    return 1;
}

int hl_port_http_read(hl_handle_t h, void *buffer, uint32_t want, uint32_t *got, uint32_t *error)
{
    FAKE_GUARD;
    session *s = check(h);
    *got = 0;
    http.reads.push_back(want);
    if (failed(FAKE_HTTP_READ, error) || s == nullptr)
        return 0;
    size_t left = http.body.size() - s->offset;
    size_t n = want < left ? want : left;
    memcpy(buffer, http.body.data() + s->offset, n);
    s->offset += n;
    *got = (uint32_t)n;
    return 1;
}

void hl_port_http_end(hl_handle_t h)
{
    FAKE_GUARD;
    session *s = check(h);
    for (int i = 0; i < 3; i++) /* counted as misuse when nothing is open */
        fake_release(FAKE_RES_HTTP);
    if (s == nullptr)
        return;
    delete s;
    http.open = nullptr;
}
