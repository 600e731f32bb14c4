/*
 * Public IP through the real WinHTTP path against a server that misbehaves
 * the ways a network can: silence, trickling, floods, hang-ups, garbage in
 * the values, oversized headers, and nobody listening at all.
 */
#include "wine_server.h"

#include "wine_common.h"

#include <stdio.h>

namespace
{

const uint16_t test_port = HOSTLENS_TEST_PUBLIC_IP_PORT;

/* Wine's WinHTTP fails a receive that times out with the socket's
 * WSAETIMEDOUT, where Windows gives ERROR_WINHTTP_TIMEOUT (12002). */
const char *const timed_out = "public_ip: 127.0.0.1: timed out (error 10060)";
const char *const too_slow = "public_ip: 127.0.0.1: the answer took longer than 2 s";
const char *const refused =
    "public_ip: 127.0.0.1: the connection was refused or the host is unreachable (error 12029)";

HMODULE local_dll()
{
    static HMODULE m = LoadLibraryW(L"hostlens_local.dll");
    return m;
}

std::string local_call(const char *name)
{
    hl_doc_fn f = (hl_doc_fn)(void *)GetProcAddress(local_dll(), name);
    if (f == NULL)
        return "<missing>";
    const char *t = f();
    return t != NULL ? std::string(t) : std::string("<NULL>");
}

std::string ip_doc(const std::string &ip, const std::string &country, const std::string &city,
                   const char *error)
{
    std::string s = "{\"public_ip\":{\"ip\":\"" + ip + "\",\"country\":\"" + country +
                    "\",\"city\":\"" + city + "\"";
    if (error != nullptr)
        s += std::string(",\"error\":\"") + error + "\"";
    return s + "}}";
}

std::string head(size_t content_length, const std::string &extra = "")
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(content_length) + "\r\n" + extra + "Connection: close\r\n\r\n";
}

const std::string good = "{\"query\":\"203.0.113.7\",\"country\":\"Norway\",\"city\":\"Oslo\"}";

/* Sends bytes one a second until done, the client leaves or the server stops. */
void trickle(SOCKET c, wine_server &srv, const std::string &bytes)
{
    for (size_t i = 0; i < bytes.size() && !srv.stopping; i++) {
        if (send(c, bytes.data() + i, 1, 0) != 1)
            return;
        for (int t = 0; t < 10 && !srv.stopping; t++)
            Sleep(100);
    }
}

/* 10 MB whose first 2047 bytes carry the address; a city and an error
 * member lie beyond them and must not be seen. */
std::string flood()
{
    std::string b = "{\"query\":\"198.51.100.4\",\"pad\":\"" + std::string(2000, 'p');
    b += "\",\"city\":\"Beyond\",\"error\":\"late\",\"more\":\"";
    b += std::string(10 * 1024 * 1024 - b.size() - 2, 'q');
    return b + "\"}";
}

struct hostile_case {
    const char *label;
    std::function<void(SOCKET, wine_server &)> serve; /* empty: nobody listens */
    std::string expected;
};

std::vector<hostile_case> cases()
{
    return {
        {"accepts and never answers",
         [](SOCKET c, wine_server &s) { wine_hold_until_closed(c, s); },
         ip_doc("unknown", "unknown", "unknown", timed_out)},
        {"headers, then silence",
         [](SOCKET c, wine_server &s) {
             if (wine_send_all(c, head(good.size())))
                 wine_hold_until_closed(c, s);
         },
         ip_doc("unknown", "unknown", "unknown", timed_out)},
        /* Every wait for the next byte is within the receive timeout; only
         * the deadline on the body as a whole ends it. */
        {"body at one byte a second",
         [](SOCKET c, wine_server &s) {
             if (wine_send_all(c, head(good.size())))
                 trickle(c, s, good);
         },
         ip_doc("unknown", "unknown", "unknown", too_slow)},
        {"10 MB body",
         [](SOCKET c, wine_server &) {
             std::string b = flood();
             if (wine_send_all(c, head(b.size())))
                 wine_send_all(c, b);
         },
         ip_doc("198.51.100.4", "unknown", "unknown", nullptr)},
        /* What arrived before the hang-up counts; a value cut open does not. */
        {"closes in the middle of the body",
         [](SOCKET c, wine_server &) { wine_send_all(c, head(good.size()) + good.substr(0, 40)); },
         ip_doc("203.0.113.7", "unknown", "unknown", nullptr)},
        {"closes inside the address",
         [](SOCKET c, wine_server &) { wine_send_all(c, head(good.size()) + good.substr(0, 16)); },
         ip_doc("unknown", "unknown", "unknown", "public_ip: no IP returned")},
        /* Control bytes escaped, an invalid byte repaired, and the text ends
         * at the NUL, so the city's value has no closing quote. */
        {"NUL, invalid UTF-8 and control bytes in the values",
         [](SOCKET c, wine_server &) {
             std::string b = "{\"query\":\"203.0.113.7\",\"country\":\"A\x01\x1f"
                             "B\xff\xc3\",\"city\":\"Ber";
             b += '\0';
             b += "lin\"}";
             wine_send_all(c, head(b.size()) + b);
         },
         ip_doc("203.0.113.7", "A\\u0001\\u001fB\xef\xbf\xbd\xef\xbf\xbd", "unknown", nullptr)},
        /* Wine takes any header size. Windows stops at 64 KB
         * (WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE) and fails the receive,
         * which gives a "request failed" document. */
        {"100 KB header",
         [](SOCKET c, wine_server &) {
             wine_send_all(c, head(good.size(), "X-Pad: " + std::string(100 * 1024, 'h') + "\r\n") +
                                  good);
         },
         ip_doc("203.0.113.7", "Norway", "Oslo", nullptr)},
        {"refuses", {}, ip_doc("unknown", "unknown", "unknown", refused)},
    };
}

} // namespace

TEST(WineHostileHttp, EveryCaseGivesAValidDocumentWithItsMessage)
{
    ASSERT_NE(local_dll(), (HMODULE)NULL);
    for (const hostile_case &c : cases()) {
        SCOPED_TRACE(c.label);
        wine_server srv;
        if (c.serve) {
            ASSERT_TRUE(wine_server_start(srv, test_port, c.serve));
        }
        ULONGLONG t0 = GetTickCount64();
        std::string text = local_call("hostlens_public_ip");
        ULONGLONG took = GetTickCount64() - t0;
        if (c.serve)
            wine_server_stop(srv);
        printf("hostile case \"%s\": %llu ms\n", c.label, (unsigned long long)took);
        fflush(stdout);
        hl_parse(text);
        EXPECT_EQ(text, c.expected);
        EXPECT_STREQ(((hl_doc_fn)(void *)GetProcAddress(local_dll(), "hostlens_last_error"))(), "");
    }
}
