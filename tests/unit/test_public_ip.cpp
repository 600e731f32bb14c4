/*
 * Public IP: the request, every body case, the read cap, the phase messages
 * and the handles released on every path.
 */
#include "test_util.h"

namespace
{
std::string ip_doc(const char *ip, const char *country, const char *city, const char *error)
{
    std::string s = std::string("{\"public_ip\":{\"ip\":\"") + ip + "\",\"country\":\"" + country +
                    "\",\"city\":\"" + city + "\"";
    if (error != nullptr)
        s += std::string(",\"error\":\"") + error + "\"";
    return s + "}}";
}
} // namespace

TEST(PublicIp, SendsTheConfiguredRequest)
{
    EXPECT_EQ(doc(hostlens_public_ip()), ip_doc("203.0.113.7", "Germany", "Berlin", nullptr));
    const fake_http_request &r = fake_http_last_request();
    EXPECT_EQ(r.host, HOSTLENS_PUBLIC_IP_HOST);
    EXPECT_EQ(r.port, HOSTLENS_PUBLIC_IP_PORT);
    EXPECT_EQ(r.path, "/json?fields=query,country,city");
    EXPECT_EQ(r.agent, "zephrion-hostlens/1.0");
    EXPECT_EQ(r.resolve_ms, 2000);
    EXPECT_EQ(r.connect_ms, 2000);
    EXPECT_EQ(r.send_ms, 2000);
    EXPECT_EQ(r.receive_ms, 2000);
    EXPECT_TRUE(fake_all_released());
    EXPECT_STREQ(hostlens_last_error(), "");
}

TEST(PublicIp, BodyCases)
{
    const std::string host = HOSTLENS_PUBLIC_IP_HOST;
    const std::string failed = "public_ip: " + host + ": empty answer";
    const std::string returned = "public_ip: " + host + " returned an error";
    std::string v70(70, 'c');
    std::string umlauts;
    for (int i = 0; i < 40; i++)
        umlauts += "\xc3\xbc";
    const std::string umlauts62 = umlauts.substr(0, 62);
    std::string long_body =
        "{\"query\":\"198.51.100.4\",\"pad\":\"" + std::string(2100, 'p') + "\",\"city\":\"Far\"}";
    /* The closing quote of "Near" is the last byte read, then one past it. */
    std::string city_at_edge =
        "{\"query\":\"198.51.100.4\",\"pad\":\"" + std::string(2001, 'p') + "\",\"city\":\"Near\"}";
    std::string city_past_edge =
        "{\"query\":\"198.51.100.4\",\"pad\":\"" + std::string(2002, 'p') + "\",\"city\":\"Near\"}";
    struct {
        std::string body;
        const char *ip, *country, *city;
        std::string error;
    } cases[] = {
        {"{\"query\":\"203.0.113.7\",\"country\":\"Germany\",\"city\":\"Berlin\"}", "203.0.113.7",
         "Germany", "Berlin", ""},
        {"{\"query\":\"203.0.113.7\"}", "203.0.113.7", "unknown", "unknown", ""},
        {"{\"country\":\"Germany\",\"city\":\"Berlin\"}", "unknown", "Germany", "Berlin",
         "public_ip: no IP returned"},
        {"{\"query\":\"203.0.113.7\",\"city\":\"\"}", "203.0.113.7", "unknown", "unknown", ""},
        {"{\"query\" : \"203.0.113.7\" , \"city\" :\"Oslo\"}", "203.0.113.7", "unknown", "Oslo",
         ""},
        {"{\"error\":\"rate limited\"}", "unknown", "unknown", "unknown", returned},
        {"{\"query\":\"203.0.113.7\",\"city\":\"Oslo\",\"tags\":[\"ok\",\"error\"]}", "unknown",
         "unknown", "unknown", returned},
        {"{\"query\":\"203.0.113.7\",\"city\":\"" + v70 + "\"}", "203.0.113.7", "unknown",
         "ccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc", ""},
        {long_body, "198.51.100.4", "unknown", "unknown", ""},
        {city_at_edge, "198.51.100.4", "unknown", "Near", ""},
        {city_past_edge, "198.51.100.4", "unknown", "unknown", ""},
        /* Invalid bytes reach the document repaired, control bytes escaped,
         * and a cut never splits a character. */
        {"{\"query\":\"203.0.113.7\",\"city\":\"A\xff\x01"
         "B\"}",
         "203.0.113.7", "unknown", "A\xef\xbf\xbd\\u0001B", ""},
        {"{\"query\":\"203.0.113.7\",\"city\":\"" + umlauts + "\"}", "203.0.113.7", "unknown",
         umlauts62.c_str(), ""},
        {"", "unknown", "unknown", "unknown", failed},
        {"<html><body><h1>404 Not Found</h1></body></html>", "unknown", "unknown", "unknown",
         "public_ip: no IP returned"},
        {"{\"query\":\"203.0.113.7", "unknown", "unknown", "unknown", "public_ip: no IP returned"},
        {"{\"query\":\"a\\\"b\"}", "a\\\\", "unknown", "unknown", ""},
        /* The text ends at its first NUL: nothing behind it is seen. */
        {std::string("{\"query\":\"203.0.113.7\"}\0\"error\"", 32), "203.0.113.7", "unknown",
         "unknown", ""},
        {std::string("\0{\"query\":\"203.0.113.7\"}", 25), "unknown", "unknown", "unknown",
         "public_ip: no IP returned"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_http_set_body(c.body);
        EXPECT_EQ(doc(hostlens_public_ip()),
                  ip_doc(c.ip, c.country, c.city, c.error.empty() ? nullptr : c.error.c_str()))
            << c.body.substr(0, 80);
        EXPECT_TRUE(fake_all_released());
    }
}

TEST(PublicIp, ReadsAtMost2047BytesWhateverIsAnnounced)
{
    /* The server announces 1000, then 5000 bytes: the second read asks for
     * what is left of the cap only, and nothing is asked after it. */
    fake_http_set_body(std::string(3000, ' ') + "{\"query\":\"x\"}", {1000, 5000});
    hl_public_ip_info_t r;
    hl_impl_public_ip(&r);
    EXPECT_EQ(fake_http_reads(), (std::vector<uint32_t>{1000, 1047}));
    EXPECT_STREQ(hl_get_error(), "public_ip: no IP returned");
    EXPECT_TRUE(fake_all_released());
}

TEST(PublicIp, ChunksAreJoinedAndShortReadsContinue)
{
    fake_http_set_body("{\"query\":\"203.0.113.7\",\"country\":\"Japan\"}", {3, 4, 100, 0});
    hl_public_ip_info_t r;
    hl_impl_public_ip(&r);
    EXPECT_STREQ(r.ip, "203.0.113.7");
    EXPECT_STREQ(r.country, "Japan");
    EXPECT_EQ(fake_http_reads(), (std::vector<uint32_t>{3, 4, 100}));
}

TEST(PublicIp, ReadFailuresKeepWhatArrived)
{
    fake_http_set_body("{\"query\":\"203.0.113.7\",\"country\":\"Japan\"}", {22, 100});
    fake_fail(FAKE_HTTP_READ, 2);
    hl_public_ip_info_t r;
    hl_impl_public_ip(&r);
    EXPECT_STREQ(r.ip, "203.0.113.7");
    EXPECT_STREQ(r.country, "unknown");
    EXPECT_TRUE(fake_all_released());
}

TEST(PublicIp, RefusalsAndFailedWaitsSayWhy)
{
    const std::string host = std::string("public_ip: ") + HOSTLENS_PUBLIC_IP_HOST + ": ";
    const std::string body = "{\"query\":\"203.0.113.7\",\"country\":\"Japan\"}";
    struct {
        uint32_t status;
        fake_op failing;
        int k;
        long code;
        std::string ip, error;
    } cases[] = {
        {429, FAKE_OP_COUNT, 0, 0, "unknown", host + "HTTP 429"},
        {0, FAKE_OP_COUNT, 0, 0, "203.0.113.7", ""}, /* status unreadable: the body decides */
        /* Headers, then silence: the wait for the body times out. */
        {200, FAKE_HTTP_AVAILABLE, 1, 0, "unknown", host + "timed out (error 12002)"},
        /* Cut inside the address by a reset, and cut after it. */
        {200, FAKE_HTTP_READ, 1, 12030, "unknown", host + "the connection was reset (error 12030)"},
        {200, FAKE_HTTP_AVAILABLE, 2, 12030, "203.0.113.7", ""},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_http_set_body(body, {26, 100});
        fake_http_set_status(c.status);
        if (c.status == 0)
            fake_fail(FAKE_HTTP_STATUS, 1);
        if (c.failing != FAKE_OP_COUNT)
            fake_fail(c.failing, c.k, false, c.code);
        hl_clear_error();
        hl_public_ip_info_t r;
        hl_impl_public_ip(&r);
        EXPECT_EQ(r.ip, c.ip) << c.status << " " << fake_op_name(c.failing);
        EXPECT_EQ(hl_get_error(), c.error) << c.status << " " << fake_op_name(c.failing);
        EXPECT_TRUE(fake_all_released());
    }
}

TEST(PublicIp, BodyStillArrivingAfterTwoSecondsIsAFailedRequest)
{
    const std::string body = "{\"query\":\"203.0.113.7\",\"country\":\"Japan\"}";
    const std::string failed =
        "public_ip: " + std::string(HOSTLENS_PUBLIC_IP_HOST) + ": the answer took longer than 2 s";
    struct {
        uint32_t wait_ms;
        std::vector<uint32_t> announce;
        std::string doc;
        std::vector<uint32_t> reads;
    } cases[] = {
        /* One byte a second: every wait is well inside the receive timeout,
         * the body as a whole is not. */
        {1000,
         std::vector<uint32_t>(body.size(), 1),
         ip_doc("unknown", "unknown", "unknown", failed.c_str()),
         {1, 1}},
        {1999,
         std::vector<uint32_t>(body.size(), 1),
         ip_doc("unknown", "unknown", "unknown", failed.c_str()),
         {1, 1}},
        /* Slow, but done before the deadline: the last wait only reports
         * that nothing is left. */
        {600, {20, 20}, ip_doc("203.0.113.7", "Japan", "unknown", nullptr), {20, 20, 1}},
        {0, std::vector<uint32_t>(body.size(), 1),
         ip_doc("203.0.113.7", "Japan", "unknown", nullptr), std::vector<uint32_t>(body.size(), 1)},
    };
    hostlens_memory(); /* the thread's JSON block, kept from here on */
    for (const auto &c : cases) {
        fake_reset();
        fake_set_tick_count(UINT64_C(0xFFFFFFFF) - 500); /* across the 32-bit wrap */
        fake_http_set_body(body, c.announce);
        fake_http_set_wait(c.wait_ms);
        long heap = fake_outstanding(FAKE_RES_HEAP);
        EXPECT_EQ(doc(hostlens_public_ip()), c.doc) << c.wait_ms;
        EXPECT_EQ(fake_http_reads(), c.reads) << c.wait_ms;
        EXPECT_TRUE(fake_all_released());
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    }
}

TEST(PublicIp, EachPhaseAndReasonHasItsMessage)
{
    const std::string host = std::string("public_ip: ") + HOSTLENS_PUBLIC_IP_HOST + ": ";
    struct {
        int phase;
        uint32_t error;
        std::string message;
    } cases[] = {
        {HL_HTTP_OPEN_FAILED, 126, "public_ip: WinHttpOpen failed (error 126)"},
        {HL_HTTP_CONNECT_FAILED, 12005, "public_ip: WinHttpConnect failed (error 12005)"},
        {HL_HTTP_REQUEST_FAILED, 0, "public_ip: WinHttpOpenRequest failed"},
        {HL_HTTP_SEND_FAILED, 12007, host + "the name could not be resolved (error 12007)"},
        {HL_HTTP_SEND_FAILED, 12029,
         host + "the connection was refused or the host is unreachable (error 12029)"},
        {HL_HTTP_SEND_FAILED, 12002, host + "timed out (error 12002)"},
        {HL_HTTP_SEND_FAILED, 10060, host + "timed out (error 10060)"},
        {HL_HTTP_SEND_FAILED, 10061,
         host + "the connection was refused or the host is unreachable (error 10061)"},
        {HL_HTTP_SEND_FAILED, 12030, host + "the connection was reset (error 12030)"},
        {HL_HTTP_SEND_FAILED, 12152, host + "the answer was not HTTP (error 12152)"},
        {HL_HTTP_SEND_FAILED, 12175, host + "request failed (error 12175)"},
        {HL_HTTP_SEND_FAILED, 0, host + "request failed"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_http_set_phase(c.phase, c.error);
        EXPECT_EQ(doc(hostlens_public_ip()),
                  ip_doc("unknown", "unknown", "unknown", c.message.c_str()));
        EXPECT_EQ(fake_calls(FAKE_HTTP_AVAILABLE), 0);
        EXPECT_TRUE(fake_all_released());
        EXPECT_STREQ(hostlens_last_error(), "");
    }
}

TEST(PublicIp, SnapshotSectionNeverCarriesTheError)
{
    fake_http_set_phase(HL_HTTP_OPEN_FAILED);
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["public_ip"].dump(),
              "{\"ip\":\"unknown\",\"country\":\"unknown\",\"city\":\"unknown\"}");
    EXPECT_STREQ(hostlens_last_error(), "");

    fake_reset();
    all = parsed(hostlens_get_all());
    EXPECT_EQ(all["public_ip"].dump(),
              "{\"ip\":\"203.0.113.7\",\"country\":\"Germany\",\"city\":\"Berlin\"}");
    EXPECT_TRUE(fake_all_released());
}
