/*
 * Public IP under Wine against an HTTP server this test runs on 127.0.0.1:
 * through the DLL built for that server, through the WinHTTP side of the
 * port itself, and the default build with no network.
 */
#include <winsock2.h>
#include <ws2tcpip.h>
#include <winhttp.h>

#include "wine_common.h"

#include "hl_port.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace
{

const uint16_t test_port = HOSTLENS_TEST_PUBLIC_IP_PORT;

/* What the server answers: a status line and body, or nothing at all. */
struct answer {
    std::string status;
    std::string body;
    bool silent;
};

class server
{
  public:
    bool start()
    {
        WSADATA wsa;
        if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
            return false;
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        BOOL yes = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, (const char *)&yes, sizeof yes);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(test_port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener_, (sockaddr *)&a, sizeof a) != 0 || listen(listener_, 8) != 0)
            return false;
        thread_ = std::thread([this] { run(); });
        return true;
    }

    void stop()
    {
        stopping_ = true;
        closesocket(listener_);
        if (thread_.joinable())
            thread_.join();
    }

    void set(const answer &a)
    {
        std::lock_guard<std::mutex> g(mu_);
        answer_ = a;
    }

    std::string last_request()
    {
        std::lock_guard<std::mutex> g(mu_);
        return request_;
    }

  private:
    void run()
    {
        /* Bounded: the test makes a few dozen requests. */
        for (int served = 0; served < 64 && !stopping_; served++) {
            SOCKET c = accept(listener_, NULL, NULL);
            if (c == INVALID_SOCKET)
                return;
            DWORD timeout = 3000;
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, (const char *)&timeout, sizeof timeout);
            std::string req;
            char buf[2048];
            while (req.find("\r\n\r\n") == std::string::npos && req.size() < 65536) {
                int n = recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                req.append(buf, (size_t)n);
            }
            answer a;
            {
                std::lock_guard<std::mutex> g(mu_);
                request_ = req;
                a = answer_;
            }
            if (a.silent) {
                /* Hold the connection without a word until the client gives up. */
                while (!stopping_ && recv(c, buf, sizeof buf, 0) > 0) {
                }
            } else {
                std::string out = "HTTP/1.1 " + a.status +
                                  "\r\nContent-Type: application/json\r\nContent-Length: " +
                                  std::to_string(a.body.size()) + "\r\nConnection: close\r\n\r\n" +
                                  a.body;
                send(c, out.data(), (int)out.size(), 0);
                shutdown(c, SD_SEND);
            }
            closesocket(c);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex mu_;
    answer answer_;
    std::string request_;
};

struct body_case {
    const char *label;
    answer served;
    const char *ip, *country, *city, *error; /* error: nullptr for none */
};

std::string big_body()
{
    return "{\"query\":\"198.51.100.4\",\"pad\":\"" + std::string(2100, 'p') +
           "\",\"city\":\"Far\"}";
}

const std::string v70(70, 'c');

std::vector<body_case> body_cases()
{
    return {
        {"normal",
         {"200 OK", "{\"query\":\"203.0.113.7\",\"country\":\"Germany\",\"city\":\"Berlin\"}",
          false},
         "203.0.113.7",
         "Germany",
         "Berlin",
         nullptr},
        {"only query",
         {"200 OK", "{\"query\":\"203.0.113.7\"}", false},
         "203.0.113.7",
         "unknown",
         "unknown",
         nullptr},
        {"no query",
         {"200 OK", "{\"country\":\"Germany\",\"city\":\"Berlin\"}", false},
         "unknown",
         "Germany",
         "Berlin",
         "public_ip: no IP returned"},
        {"error member",
         {"200 OK", "{\"status\":\"fail\",\"error\":\"x\",\"query\":\"203.0.113.7\"}", false},
         "unknown",
         "unknown",
         "unknown",
         "public_ip: 127.0.0.1 returned an error"},
        {"70 characters",
         {"200 OK", "{\"query\":\"203.0.113.7\",\"city\":\"" + v70 + "\"}", false},
         "203.0.113.7",
         "unknown",
         "ccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc",
         nullptr},
        {"longer than 2047",
         {"200 OK", big_body(), false},
         "198.51.100.4",
         "unknown",
         "unknown",
         nullptr},
        {"empty",
         {"200 OK", "", false},
         "unknown",
         "unknown",
         "unknown",
         "public_ip: 127.0.0.1: empty answer"},
        {"html 404",
         {"404 Not Found", "<html><body><h1>404 Not Found</h1></body></html>", false},
         "unknown",
         "unknown",
         "unknown",
         "public_ip: 127.0.0.1: HTTP 404"},
    };
}

std::string expected_doc(const body_case &c)
{
    std::string s = std::string("{\"public_ip\":{\"ip\":\"") + c.ip + "\",\"country\":\"" +
                    c.country + "\",\"city\":\"" + c.city + "\"";
    if (c.error != nullptr)
        s += std::string(",\"error\":\"") + c.error + "\"";
    return s + "}}";
}

/* The whole body through the port's WinHTTP side, as the collector reads it
 * but without its cap. */
int port_get(std::string *body, uint32_t *last_error = nullptr)
{
    hl_port_http_request_t r;
    r.host = u"127.0.0.1";
    r.port = test_port;
    r.path = u"/json?fields=query,country,city";
    r.agent = u"zephrion-hostlens/1.0";
    r.resolve_ms = r.connect_ms = r.send_ms = r.receive_ms = 2000;
    hl_handle_t s = NULL;
    uint32_t error = 0;
    int phase = hl_port_http_begin(&r, &s, &error);
    if (last_error != nullptr)
        *last_error = error;
    if (phase != HL_HTTP_OK)
        return phase;
    body->clear();
    for (int i = 0; i < 1000; i++) {
        uint32_t avail = 0, got = 0, err = 0;
        char buf[4096];
        if (!hl_port_http_available(s, &avail, &err) || avail == 0)
            break;
        if (!hl_port_http_read(s, buf, avail < sizeof buf ? avail : sizeof buf, &got, &err) ||
            got == 0)
            break;
        body->append(buf, got);
    }
    hl_port_http_end(s);
    return HL_HTTP_OK;
}

HMODULE local_dll()
{
    static HMODULE m = LoadLibraryW(L"hostlens_local.dll");
    return m;
}

std::string local_call()
{
    hl_doc_fn f = (hl_doc_fn)(void *)GetProcAddress(local_dll(), "hostlens_public_ip");
    if (f == NULL)
        return "<missing>";
    return f();
}

} // namespace

TEST(WinePublicIp, CasesAgainstTheTestServer)
{
    ASSERT_NE(local_dll(), (HMODULE)NULL);
    server srv;
    ASSERT_TRUE(srv.start());
    for (const body_case &c : body_cases()) {
        SCOPED_TRACE(c.label);
        srv.set(c.served);
        EXPECT_EQ(local_call(), expected_doc(c));

        /* The adapter hands back exactly what was served. */
        std::string body;
        EXPECT_EQ(port_get(&body), HL_HTTP_OK);
        EXPECT_EQ(body, c.served.body);
    }

    /* The request as it reached the wire. */
    srv.set({"200 OK", "{\"query\":\"203.0.113.7\"}", false});
    local_call();
    std::string req = srv.last_request();
    EXPECT_EQ(req.rfind("GET /json?fields=query,country,city HTTP/1.1\r\n", 0), 0u) << req;
    EXPECT_NE(req.find("User-Agent: zephrion-hostlens/1.0\r\n"), std::string::npos) << req;
    EXPECT_NE(req.find("Host: 127.0.0.1:" + std::to_string(test_port) + "\r\n"), std::string::npos)
        << req;

    /* A server that accepts and never answers: the receive timeout ends it. */
    srv.set({"", "", true});
    ULONGLONG t0 = GetTickCount64();
    EXPECT_EQ(local_call(), "{\"public_ip\":{\"ip\":\"unknown\",\"country\":\"unknown\","
                            "\"city\":\"unknown\",\"error\":\"public_ip: 127.0.0.1: timed out "
                            "(error 10060)\"}}");
    ULONGLONG waited = GetTickCount64() - t0;
    EXPECT_LT(waited, 6000u) << "the 2000 ms phase limits did not hold";
    std::string body;
    uint32_t error = 0;
    EXPECT_EQ(port_get(&body, &error), HL_HTTP_SEND_FAILED);
    /* Windows answers ERROR_WINHTTP_TIMEOUT; Wine the socket's own code. */
    EXPECT_EQ(error, (uint32_t)WSAETIMEDOUT);
    srv.stop();

    /* Nobody listens any more: the connection is refused. */
    EXPECT_EQ(local_call(), "{\"public_ip\":{\"ip\":\"unknown\",\"country\":\"unknown\","
                            "\"city\":\"unknown\",\"error\":\"public_ip: 127.0.0.1: the "
                            "connection was refused or the host is unreachable (error 12029)\"}}");
    EXPECT_EQ(port_get(&body, &error), HL_HTTP_SEND_FAILED);
    EXPECT_EQ(error, (uint32_t)ERROR_WINHTTP_CANNOT_CONNECT);
}

TEST(WinePublicIp, DefaultBuildWithoutNetworkFailsPromptly)
{
    ULONGLONG t0 = GetTickCount64();
    /* Without a network the name cannot be resolved; the message says so. */
    EXPECT_EQ(hl_call("hostlens_public_ip"),
              "{\"public_ip\":{\"ip\":\"unknown\",\"country\":\"unknown\",\"city\":\"unknown\","
              "\"error\":\"public_ip: ip-api.com: the name could not be resolved (error "
              "12007)\"}}");
    EXPECT_LT(GetTickCount64() - t0, 10000u);
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
}
