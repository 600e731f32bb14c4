/*
 * How deep each export reaches into its caller's stack, measured on fresh
 * threads whose stack is filled with a pattern first, and the snapshot on a
 * thread with a 256 KiB stack, as a host's worker threads may have.
 */
#include "wine_server.h"

#include "wine_common.h"

#include <malloc.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace
{

const uint16_t test_port = HOSTLENS_TEST_PUBLIC_IP_PORT;
const unsigned char pattern = 0xA5;

HMODULE local_dll()
{
    static HMODULE m = LoadLibraryW(L"hostlens_local.dll");
    return m;
}

struct probe {
    const char *name; /* export of hostlens_local.dll */
    const char *arg;  /* the argument of hostlens_logo or hostlens_collect */
    bool logo;        /* called with `arg`, as hostlens_logo is */
    size_t depth;     /* bytes below the caller's frame */
    std::string text;
};

/* Commits and fills the stack below the caller, down to `keep` bytes above
 * the reservation's end (the guard pages and the filler's own frame need
 * them). Returns the lowest filled address, which is free again once it
 * returns. */
__attribute__((noinline)) uintptr_t fill_stack(size_t keep)
{
    MEMORY_BASIC_INFORMATION mbi;
    volatile unsigned char here = 0;
    VirtualQuery((const void *)&here, &mbi, sizeof mbi);
    size_t room = (size_t)((uintptr_t)&here - (uintptr_t)mbi.AllocationBase);
    size_t size = room - keep;
    /* _alloca probes page by page, so the stack grows through its guard page
     * as a deep call would make it. */
    volatile unsigned char *pad = (volatile unsigned char *)_alloca(size);
    /* volatile: the frame dies on return, and a memset would be dropped. */
    for (size_t i = 0; i < size; i++)
        pad[i] = pattern;
    return (uintptr_t)pad;
}

DWORD WINAPI run_probe(void *arg)
{
    probe *p = (probe *)arg;
    FARPROC f = GetProcAddress(local_dll(), p->name);
    unsigned char *low = (unsigned char *)fill_stack(64 * 1024);
    unsigned char mark;
    unsigned char *top = &mark;
    const char *t = NULL;
    if (f != NULL)
        t = p->logo ? ((hl_logo_fn)(void *)f)(p->arg) : ((hl_doc_fn)(void *)f)();
    p->text = t != NULL ? t : "<NULL>";
    unsigned char *deepest = low;
    while (deepest < top && *deepest == pattern)
        deepest++;
    p->depth = (size_t)(top - deepest);
    return 0;
}

/* Runs fn on a new thread with a stack reservation of `reserve` bytes. */
bool on_thread(LPTHREAD_START_ROUTINE fn, void *arg, size_t reserve)
{
    HANDLE h = CreateThread(NULL, reserve, fn, arg, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (h == NULL)
        return false;
    WaitForSingleObject(h, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    return code == 0;
}

const std::string good = "{\"query\":\"203.0.113.7\",\"country\":\"Norway\",\"city\":\"Oslo\"}";

bool serve_good(wine_server &srv)
{
    return wine_server_start(srv, test_port, [](SOCKET c, wine_server &) {
        wine_send_all(c, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(good.size()) +
                             "\r\nConnection: close\r\n\r\n" + good);
    });
}

struct snapshot_run {
    std::string text;
};

DWORD WINAPI run_snapshot(void *arg)
{
    snapshot_run *r = (snapshot_run *)arg;
    hl_doc_fn f = (hl_doc_fn)(void *)GetProcAddress(local_dll(), "hostlens_get_all");
    const char *t = f != NULL ? f() : NULL;
    r->text = t != NULL ? t : "<NULL>";
    return 0;
}

} // namespace

TEST(WineStack, DeepestStackOfEachExport)
{
    ASSERT_NE(local_dll(), (HMODULE)NULL);
    wine_server srv;
    ASSERT_TRUE(serve_good(srv));
    std::vector<probe> probes;
    const char *documents[] = {"hostlens_version",
                               "hostlens_last_error",
                               "hostlens_os",
                               "hostlens_kernel",
                               "hostlens_host",
                               "hostlens_uptime",
                               "hostlens_boot_time",
                               "hostlens_packages",
                               "hostlens_shell",
                               "hostlens_terminal",
                               "hostlens_terminal_font",
                               "hostlens_resolution",
                               "hostlens_desktop_environment",
                               "hostlens_window_manager",
                               "hostlens_cpu",
                               "hostlens_cpu_temp",
                               "hostlens_gpu",
                               "hostlens_memory",
                               "hostlens_swap",
                               "hostlens_battery",
                               "hostlens_disk",
                               "hostlens_network",
                               "hostlens_public_ip",
                               "hostlens_locale",
                               "hostlens_user",
                               "hostlens_process_count",
                               "hostlens_get_all"};
    for (const char *name : documents)
        probes.push_back({name, nullptr, false, 0, ""});
    /* Every module but the public IP, then a list of unknown names only. */
    probes.push_back({"hostlens_collect", nullptr, true, 0, ""});
    probes.push_back({"hostlens_collect", "x,y", true, 0, ""});
    probes.push_back({"hostlens_logo", "windows", true, 0, ""});
    probes.push_back({"hostlens_logo", nullptr, true, 0, ""});

    size_t deepest = 0;
    for (probe &p : probes) {
        SCOPED_TRACE(p.name);
        ASSERT_TRUE(on_thread(run_probe, &p, 1024 * 1024));
        EXPECT_NE(p.text, "<NULL>");
        if ((!p.logo || strcmp(p.name, "hostlens_collect") == 0) &&
            strcmp(p.name, "hostlens_version") != 0 && strcmp(p.name, "hostlens_last_error") != 0)
            hl_parse(p.text);
        printf("stack %-30s %7zu bytes\n", p.name, p.depth);
        deepest = std::max(deepest, p.depth);
    }
    wine_server_stop(srv);
    printf("stack deepest export: %zu bytes\n", deepest);
    /* The public IP document really read the answer, so its body buffer was
     * in use when measured. */
    for (const probe &p : probes)
        if (strcmp(p.name, "hostlens_public_ip") == 0) {
            EXPECT_NE(p.text.find("\"ip\":\"203.0.113.7\""), std::string::npos) << p.text;
        }
    EXPECT_LT(deepest, (size_t)256 * 1024);
}

TEST(WineStack, SnapshotOnA256KiBStack)
{
    ASSERT_NE(local_dll(), (HMODULE)NULL);
    wine_server srv;
    ASSERT_TRUE(serve_good(srv));
    snapshot_run small, large;
    ASSERT_TRUE(on_thread(run_snapshot, &small, 256 * 1024));
    ASSERT_TRUE(on_thread(run_snapshot, &large, 4 * 1024 * 1024));
    wine_server_stop(srv);
    auto a = hl_parse(small.text);
    auto b = hl_parse(large.text);
    EXPECT_EQ(hl_keys(a), hl_keys(b));
    EXPECT_EQ(a["public_ip"].dump(),
              "{\"ip\":\"203.0.113.7\",\"country\":\"Norway\",\"city\":\"Oslo\"}");
    EXPECT_EQ(a["gpu"], b["gpu"]);
    EXPECT_EQ(a["host"], b["host"]);
}
