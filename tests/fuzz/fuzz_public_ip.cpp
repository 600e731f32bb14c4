/*
 * The public IP body handling on arbitrary bodies, handed out in arbitrary
 * chunks: the document is strict JSON, no field holds more than 63 bytes, a
 * value is found only after its key, and the message follows from what the
 * body's first 2047 bytes hold before any NUL.
 *
 * The collector runs once into a record and once through the export.
 *
 * Input: a phase byte, an announce count byte, that many 16-bit announced
 * sizes, then the body.
 */
#include "fuzz_util.h"

#include <string>

static const size_t body_max = 2047;

/* The record's field: whole inside its 64 bytes. In the document each byte
 * the writer cannot pass as UTF-8 becomes U+FFFD, three bytes. */
static void check_value(const char *field, const nlohmann::ordered_json &v, const std::string &text,
                        const char *key)
{
    must_end_inside(field, 64);
    if (!v.is_string())
        abort();
    std::string s = v.get<std::string>();
    if (s.empty() || s.size() > 3 * strlen(field))
        abort();
    if (s != "unknown" && text.find(std::string("\"") + key + "\"") == std::string::npos)
        abort(); /* a value without its key */
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_public_ip(); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    int phase = in.u8() % 16;
    if (phase > HL_HTTP_SEND_FAILED)
        phase = HL_HTTP_OK;
    std::vector<uint32_t> announce(in.u8() % 9);
    bool stops_early = false;
    for (uint32_t &a : announce) {
        a = in.u16();
        stops_early = stops_early || a == 0;
    }
    std::string body((const char *)in.p, in.n);

    fake_reset();
    fake_http_set_phase(phase);
    fake_http_set_body(body, announce);
    hl_public_ip_info_t rec;
    memset(&rec, 'Z', sizeof rec);
    hl_clear_error();
    hl_impl_public_ip(&rec);
    std::string slot = hl_get_error();
    if (!fake_all_released())
        abort();

    fake_reset();
    fake_http_set_phase(phase);
    fake_http_set_body(body, announce);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json r = must_be_module(hostlens_public_ip(), "public_ip");
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();

    /* What the collector may have seen: the delivered bytes up to the first NUL. */
    std::string text = body.substr(0, body_max);
    text = text.substr(0, strnlen(text.c_str(), text.size()));
    check_value(rec.ip, r["ip"], text, "query");
    check_value(rec.country, r["country"], text, "country");
    check_value(rec.city, r["city"], text, "city");

    bool has_error = r.contains("error");
    if (has_error)
        must_have_keys(r, {"ip", "country", "city", "error"});
    else
        must_have_keys(r, {"ip", "country", "city"});
    if (has_error != (r["ip"] == "unknown"))
        abort(); /* an address and no message, or a message and an address */

    const std::string host = fake_http_last_request().host;
    std::string expect;
    if (phase == HL_HTTP_OPEN_FAILED)
        expect = "public_ip: WinHttpOpen failed";
    else if (phase == HL_HTTP_CONNECT_FAILED)
        expect = "public_ip: WinHttpConnect failed";
    else if (phase == HL_HTTP_REQUEST_FAILED)
        expect = "public_ip: WinHttpOpenRequest failed";
    else if (phase == HL_HTTP_SEND_FAILED)
        expect = "public_ip: " + host + ": request failed";
    else if (body.empty())
        expect = "public_ip: " + host + ": empty answer";
    else if (stops_early)
        return 0; /* a zero announcement ends the body where it falls */
    else if (text.find("\"error\"") != std::string::npos)
        expect = "public_ip: " + host + " returned an error";
    else if (r["ip"] == "unknown")
        expect = "public_ip: no IP returned";
    if (expect.empty() ? has_error : (!has_error || r["error"] != expect))
        abort();
    if (slot != expect)
        abort(); /* the collector's message is the document's */
    if (expect.find("returned an error") != std::string::npos &&
        (r["country"] != "unknown" || r["city"] != "unknown"))
        abort(); /* nothing is taken from an error answer */
    return 0;
}
