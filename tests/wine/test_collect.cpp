/*
 * hostlens_collect in the real DLL: the sections named and no others, each
 * as its module document has it, and a request to the public IP service
 * only when "public_ip" is named (counted by a server the test runs).
 */
#include "wine_common.h"
#include "wine_server.h"

#include <math.h>

namespace
{

typedef const char *(*collect_fn)(const char *);

std::string collect(HMODULE dll, const char *modules)
{
    collect_fn f = (collect_fn)(void *)GetProcAddress(dll, "hostlens_collect");
    if (f == NULL)
        return "<missing>";
    const char *t = f(modules);
    return t != NULL ? std::string(t) : std::string("<NULL>");
}

/* Members that move between two readings, and by how much they may. */
double drift(const std::string &key)
{
    if (key == "usage_percent")
        return 100.0;
    if (key == "used_mb" || key == "available_mb" || key == "virtual_used_mb")
        return 256.0;
    if (key == "percent")
        return 2.0;
    return 0.0;
}

} // namespace

TEST(WineCollect, CpuAndMemoryAsTheirDocumentsHaveThem)
{
    auto doc = hl_parse(collect(hl_dll, "memory, cpu"));
    EXPECT_EQ(hl_keys(doc), "cpu,memory");
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_last_error"))(), "");
    for (const char *key : {"cpu", "memory"}) {
        auto own =
            hl_parse(hl_call(key == std::string("cpu") ? "hostlens_cpu" : "hostlens_memory"));
        const auto &section = doc[key], &want = own[key];
        ASSERT_EQ(hl_keys(section), hl_keys(want)) << key;
        for (auto it = want.begin(); it != want.end(); ++it) {
            const auto &got = section[it.key()];
            double d = drift(it.key());
            if (d > 0 && got.is_number() && it->is_number())
                EXPECT_LE(fabs(got.get<double>() - it->get<double>()), d) << key << "." << it.key();
            else
                EXPECT_EQ(got, *it) << key << "." << it.key();
        }
    }
    ASSERT_TRUE(doc["cpu"]["usage_percent"].is_number()) << doc["cpu"].dump();
    EXPECT_GE(doc["cpu"]["usage_percent"].get<double>(), 0.0);
    EXPECT_LE(doc["cpu"]["usage_percent"].get<double>(), 100.0);
}

TEST(WineCollect, ThePublicIpOnlyWhenNamed)
{
    HMODULE local = LoadLibraryW(L"hostlens_local.dll");
    ASSERT_NE(local, (HMODULE)NULL);
    std::atomic<int> requests{0};
    wine_server srv;
    ASSERT_TRUE(wine_server_start(srv, HOSTLENS_TEST_PUBLIC_IP_PORT, [&](SOCKET c, wine_server &) {
        requests++;
        std::string body = "{\"query\":\"203.0.113.9\",\"country\":\"Peru\",\"city\":\"Lima\"}";
        wine_send_all(c, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body);
    }));
    auto all = hl_parse(collect(local, nullptr));
    int after_all = requests;
    auto named = hl_parse(collect(local, "public_ip,nope"));
    int after_named = requests;
    wine_server_stop(srv);
    FreeLibrary(local);

    EXPECT_EQ(hl_keys(all), "os,host,kernel,uptime,boot_time,packages,shell,resolution,de,wm,"
                            "terminal,terminal_font,cpu,cpu_temp,gpu,memory,swap,battery,disk,"
                            "network,locale,user,process_count");
    EXPECT_EQ(after_all, 0);
    EXPECT_EQ(after_named, 1);
    EXPECT_EQ(named.dump(), "{\"public_ip\":{\"ip\":\"203.0.113.9\",\"country\":\"Peru\","
                            "\"city\":\"Lima\"},\"unknown_modules\":[\"nope\"]}");
}
